// Copies on several machines are kept apart by an application lock that the server holds for
// the program's session: asked for without waiting, and a copy that is not granted it stands
// aside before it touches the club's tables.
#include <QTemporaryDir>
#include <sys/stat.h>

#include "support/velocast_process.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;

namespace {

// sp_getapplock's answer, as the program's batch selects it.
TdsRule lockAnswer(int result) {
    return TdsRule::startingWith(QStringLiteral("DECLARE @VelocastLock"))
        .column(QStringLiteral("LockResult"), QStringLiteral("int"))
        .row({result});
}

// Who holds it, as the server's session views tell.
TdsRule holderAnswer() {
    return TdsRule::startingWith(QStringLiteral("SELECT TOP 1 s.host_name"))
        .column(QStringLiteral("host_name"), QStringLiteral("nvarchar"), 128)
        .column(QStringLiteral("login_time"), QStringLiteral("datetime"))
        .row({QStringLiteral("RECEPCAO-PC"), QStringLiteral("2024-05-20 07:30:00")});
}

}  // namespace

TEST(DatabaseLockOnTheWire, TheApplicationLockIsAskedForTheSessionWithoutWaitingAndAgainAfterAReconnect) {
    WireSession wire({lockAnswer(0)});
    wire.connection.open();
    ASSERT_TRUE(wire.session.databaseLock.take());
    EXPECT_TRUE(wire.session.databaseLock.take());  // held: not asked twice on one connection

    const QJsonObject call = wire.peer.firstStatement(QStringLiteral("DECLARE @VelocastLock"));
    const QString sql = call.value(QStringLiteral("sql")).toString();
    for (const char* argument : {"sp_getapplock", "@Resource = N'Velocast'", "@LockMode = N'Exclusive'",
                                 "@LockOwner = N'Session'", "@LockTimeout = 0"})
        EXPECT_TRUE(sql.contains(QLatin1String(argument))) << argument << " not in " << sql.toStdString();
    // A plain batch outside any transaction: in a server cursor or a transaction the lock
    // would not outlive the call.
    EXPECT_EQ(call.value(QStringLiteral("kind")).toString(), QStringLiteral("batch"));
    EXPECT_EQ(call.value(QStringLiteral("transaction")).toString(), QStringLiteral("0000000000000000"));
    auto calls = [&] { return wire.peer.summary().filter(QStringLiteral("sp_getapplock")).size(); };
    EXPECT_EQ(calls(), 1);

    // The lock went with the old connection: the new one asks again.
    wire.connection.close();
    wire.connection.open();
    EXPECT_FALSE(wire.session.databaseLock.held());
    EXPECT_TRUE(wire.session.databaseLock.take());
    EXPECT_EQ(calls(), 2);
}

TEST(DatabaseLockOnTheWire, ACopyNotGrantedTheLockStandsAsideEndsWithStatus0AndSaysWhoWorks) {
    // Everything the daily run would read is there: a copy that ran it would be seen doing so.
    TdsPeer peer(sessionRules({{QStringLiteral("MARKETING_ANIVERSARUANETE"), QStringLiteral("Sim")}},
                              {lockAnswer(-1), holderAnswer()}));
    QTemporaryDir runtime;
    ::chmod(QFile::encodeName(runtime.path()).constData(), 0700);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    const auto result = runBuiltProgram(
        QStringLiteral("velocast"),
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), peer.dataLinkPath()},
        120000, environment);
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(
        QStringLiteral("velocast: another Velocast is working on this database: RECEPCAO-PC, since 07:30\n")))
        << result.err.toStdString();
    const QStringList wire = peer.summary();
    EXPECT_EQ(wire.filter(QStringLiteral("sp_getapplock")).size(), 1);
    for (const char* untouched : {"CREATE TABLE", "ControleEmail", "CONTROLEEMAIL", "FROM Velocast", "DELETE"})
        EXPECT_TRUE(wire.filter(QLatin1String(untouched)).isEmpty()) << untouched << " reached the server:\n"
                                                                     << wire.join(u'\n').toStdString();
}
