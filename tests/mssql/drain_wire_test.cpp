#include <QDir>
#include <QFileInfo>
#include "support/aiosmtpd_peer.h"
#include "support/qt_printers.h"
#include "support/velocast_process.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;
using velocast::mail::testing::AiosmtpdPeer;

// The whole program, headless and once, on the stand-in server: the outbox holds one row to
// send and one invalid address; the drain sends the one, deletes both by their integer keys,
// and the next drain finds the outbox empty.
TEST(DrainOnTheWire, SentAndInvalidRowsAreDeletedByTheirIntegerKeys) {
    AiosmtpdPeer smtp(AiosmtpdPeer::Mode::StartTls, QStringLiteral("clube"), QStringLiteral("Segr3do!"));
    const QVariantMap settings{{QStringLiteral("STMP_PROVEDOR"), QStringLiteral("127.0.0.1*%1").arg(smtp.port())},
                               {QStringLiteral("IdSMTP_UseTLS"), QStringLiteral("utUseRequireTLS")},
                               {QStringLiteral("USERNAME"), QStringLiteral("clube")},
                               {QStringLiteral("PASSWORD"), QStringLiteral("Segr3do!")},
                               {QStringLiteral("NOME_PROVEDOR"), QStringLiteral("Academia Exemplo")},
                               {QStringLiteral("EMAIL_PROVEDOR"), QStringLiteral("clube@example.com")}};
    const QList<QVariantMap> outbox{
        {{QStringLiteral("ID"), 41},
         {QStringLiteral("Email"), QStringLiteral("ana@example.com")},
         {QStringLiteral("Assunto"), QStringLiteral("Zoë 🎂")},
         {QStringLiteral("Texto"), QStringLiteral("Parabéns!")}},
        {{QStringLiteral("ID"), 42},
         {QStringLiteral("Email"), QStringLiteral("sem arroba")},
         {QStringLiteral("Assunto"), QStringLiteral("x")},
         {QStringLiteral("Texto"), QStringLiteral("y")}},
    };
    // The first drain finds the two rows' keys and reads each row when it comes to it; later
    // drains find an empty outbox.
    TdsRule keys =
        TdsRule::exactly(QStringLiteral("SELECT ID FROM Velocast")).column(QStringLiteral("ID"), QStringLiteral("int"));
    TdsRule firstKeys = keys;
    firstKeys.row({41}).row({42}).times(1);
    const QString rowRead =
        QStringLiteral("SELECT ID, Email, Assunto, Texto, IMAGEM_CORPO_MARKETING FROM Velocast WHERE ID = ");
    TdsRule ana = TdsRule::rowsOf(QStringLiteral("Velocast"), rowRead, {outbox[0]});
    TdsRule invalid = TdsRule::rowsOf(QStringLiteral("Velocast"), rowRead, {outbox[1]});
    TdsPeer peer(sessionRules(settings, {firstKeys, keys, ana.times(1), invalid.times(1)}));
    const QString udl = peer.dataLinkPath();
    mail::testing::writeSettingsTrustingTestCa(QFileInfo(udl).dir().filePath(QStringLiteral("velocast.conf")));

    const auto result =
        runBuiltProgram(QStringLiteral("velocast"),
                        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), udl});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_FALSE(result.err.contains(QLatin1String("notice"))) << result.err.toStdString();
    EXPECT_TRUE(smtp.nextMessage()
                    .value(QStringLiteral("to"))
                    .toVariant()
                    .toStringList()
                    .contains(QStringLiteral("ana@example.com")));

    QList<int> deleted;
    for (const QJsonObject& r : peer.statements()) {
        if (r.value(QStringLiteral("sql")).toString() != QLatin1String("DELETE FROM Velocast WHERE ID = @P1")) continue;
        EXPECT_NE(r.value(QStringLiteral("transaction")).toString(), QStringLiteral("0000000000000000"));
        const QJsonArray key = boundValues(r);
        ASSERT_EQ(key.size(), 1);
        EXPECT_EQ(key.at(0)[QStringLiteral("type")].toString(), QStringLiteral("int"));
        deleted << key.at(0)[QStringLiteral("value")].toInt();
    }
    EXPECT_EQ(deleted, (QList<int>{41, 42}));
    // Each row is read by its integer key; after the first, a row costs three round trips:
    // its read, its delete and the commit, which begins the next row's transaction at once.
    // No statement is prepared twice, and no cancel is needed.
    QList<int> read;
    QStringList afterFirstRow;
    bool deleteSeen = false, firstRowDone = false;
    for (const QJsonObject& r : onConnection(peer.statements(), 1)) {
        if (firstRowDone) afterFirstRow << line(r).left(40);
        if (line(r).startsWith(QLatin1String("rpc sp_prepexec: DELETE"))) deleteSeen = true;
        if (deleteSeen && line(r) == QLatin1String("tm: commit")) firstRowDone = true;
        if (!r.value(QStringLiteral("sql")).toString().startsWith(rowRead)) continue;
        const QJsonArray key = boundValues(r);
        ASSERT_EQ(key.size(), 1);
        EXPECT_EQ(key.at(0)[QStringLiteral("type")].toString(), QStringLiteral("int"));
        read << key.at(0)[QStringLiteral("value")].toInt();
    }
    EXPECT_EQ(read, (QList<int>{41, 42}));
    ASSERT_GE(afterFirstRow.size(), 3);
    EXPECT_EQ(afterFirstRow.mid(0, 3),
              (QStringList{QStringLiteral("rpc sp_execute: SELECT ID, Email, Assunt"),
                           QStringLiteral("rpc sp_execute: DELETE FROM Velocast WHE"), QStringLiteral("tm: commit")}));
    // (The prepared statements go with the connection at the end, after the teardown.)
    for (const QString& l : peer.summary()) {
        if (l.startsWith(QLatin1String("batch: DROP TABLE"))) break;
        EXPECT_FALSE(l.startsWith(QLatin1String("rpc sp_unprepare")) || l == QLatin1String("attention"))
            << l.toStdString() << "\n"
            << peer.summary().join(QStringLiteral("\n")).toStdString();
    }
    EXPECT_GE(peer.summary().count(QStringLiteral("batch: SELECT ID FROM Velocast")), 2);
}

// A delete that waits too long for a lock the club's system holds (SQL Server's error 1222)
// ends the drain as any failed step does: the row's transaction rolled back, the row kept
// for the next run, and the report names the time-out and the key that sets it.
TEST(DrainOnTheWire, ALockTimeOutOnTheDeleteRollsTheRowBackAndSaysSo) {
    AiosmtpdPeer smtp(AiosmtpdPeer::Mode::StartTls, QStringLiteral("clube"), QStringLiteral("Segr3do!"));
    const QVariantMap settings{{QStringLiteral("STMP_PROVEDOR"), QStringLiteral("127.0.0.1*%1").arg(smtp.port())},
                               {QStringLiteral("IdSMTP_UseTLS"), QStringLiteral("utNoTLSSupport")},
                               {QStringLiteral("EMAIL_PROVEDOR"), QStringLiteral("clube@example.com")}};
    TdsRule keys =
        TdsRule::exactly(QStringLiteral("SELECT ID FROM Velocast")).column(QStringLiteral("ID"), QStringLiteral("int"));
    keys.row({41});
    const TdsRule row = TdsRule::rowsOf(
        QStringLiteral("Velocast"),
        QStringLiteral("SELECT ID, Email, Assunto, Texto, IMAGEM_CORPO_MARKETING FROM Velocast WHERE ID = "),
        {{{QStringLiteral("ID"), 41},
          {QStringLiteral("Email"), QStringLiteral("ana@example.com")},
          {QStringLiteral("Assunto"), QStringLiteral("Oi")},
          {QStringLiteral("Texto"), QStringLiteral("Texto")}}});
    TdsRule locked = TdsRule::startingWith(QStringLiteral("DELETE FROM Velocast"));
    locked.error(QStringLiteral("Lock request time out period exceeded."), 1222);
    TdsPeer peer(sessionRules(settings, {keys, row, locked}));

    const auto result = runBuiltProgram(
        QStringLiteral("velocast"),
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), peer.dataLinkPath()});
    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QLatin1String("lock time-out"))) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QLatin1String("lock_timeout"))) << result.err.toStdString();
    const QStringList lines = peer.summary();
    const qsizetype deleted = lines.indexOf(QStringLiteral("rpc sp_prepexec: DELETE FROM Velocast WHERE ID = @P1"));
    ASSERT_GE(deleted, 0) << lines.join(QLatin1Char(10)).toStdString();
    EXPECT_EQ(lines.value(deleted + 1), QStringLiteral("tm: rollback"));
    EXPECT_FALSE(lines.mid(deleted).contains(QStringLiteral("tm: commit")));
}
