#include <QDir>
#include <QFileInfo>
#include "outbox/outbox.h"
#include "support/aiosmtpd_peer.h"
#include "support/qt_printers.h"
#include "support/velocast_process.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;
using velocast::mail::testing::AiosmtpdPeer;

namespace {
// What follows a delete that commits its row's transaction.
const QString kCommitsAndBegins = QStringLiteral("; IF @@ERROR = 0 BEGIN COMMIT TRANSACTION; BEGIN TRANSACTION; END");
}  // namespace

// The whole program, headless and once, on the stand-in server: the outbox holds one row to
// send and one invalid address; the drain reads both at once, sends the one, deletes both by
// their integer keys, each delete with its commit, and the next drain finds the outbox empty.
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
    // The first drain finds the two rows' keys and reads them together; later drains find an
    // empty outbox.
    TdsRule keys =
        TdsRule::exactly(QStringLiteral("SELECT ID FROM Velocast")).column(QStringLiteral("ID"), QStringLiteral("int"));
    TdsRule firstKeys = keys;
    firstKeys.row({41}).row({42}).times(1);
    const QString rowRead =
        QStringLiteral("SELECT ID, Email, Assunto, Texto, IMAGEM_CORPO_MARKETING FROM Velocast WHERE ID IN (");
    TdsRule rows = TdsRule::rowsOf(QStringLiteral("Velocast"), rowRead, outbox);
    TdsPeer peer(sessionRules(settings, {firstKeys, keys, rows.times(1)}));
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

    // Each row's delete commits its transaction and begins the next in the same request; the
    // request after it goes in that next transaction.
    const QString deleteAndCommit = QStringLiteral("DELETE FROM Velocast WHERE ID = @P1") + kCommitsAndBegins;
    const QList<QJsonObject> shared = onConnection(peer.statements(), 1);
    QList<int> deleted;
    for (qsizetype i = 0; i < shared.size(); ++i) {
        const QJsonObject& r = shared.at(i);
        if (r.value(QStringLiteral("sql")).toString() != deleteAndCommit) continue;
        EXPECT_TRUE(r.value(QStringLiteral("commit_begin")).toBool());
        const QString transaction = r.value(QStringLiteral("transaction")).toString();
        EXPECT_NE(transaction, QStringLiteral("0000000000000000"));
        ASSERT_LT(i + 1, shared.size());
        const QString nextTransaction = shared.at(i + 1).value(QStringLiteral("transaction")).toString();
        EXPECT_NE(nextTransaction, transaction) << line(shared.at(i + 1)).toStdString();
        EXPECT_NE(nextTransaction, QStringLiteral("0000000000000000")) << line(shared.at(i + 1)).toStdString();
        const QJsonArray key = boundValues(r);
        ASSERT_EQ(key.size(), 1);
        EXPECT_EQ(key.at(0)[QStringLiteral("type")].toString(), QStringLiteral("int"));
        deleted << key.at(0)[QStringLiteral("value")].toInt();
    }
    EXPECT_EQ(deleted, (QList<int>{41, 42}));
    // The rows are read once, by their integer keys, the places left bound as NULL; after the
    // read a row costs one round trip, its delete, and no transaction request of its own. No
    // statement is prepared twice, and no cancel is needed.
    QStringList reads;
    QJsonArray readKeys;
    for (const QJsonObject& r : shared)
        if (r.value(QStringLiteral("sql")).toString().startsWith(rowRead)) {
            reads << line(r).left(20);
            readKeys = boundValues(r);
        }
    EXPECT_EQ(reads, QStringList{QStringLiteral("rpc sp_prepexec: SEL")});
    ASSERT_EQ(readKeys.size(), 20);
    EXPECT_EQ(readKeys.at(0)[QStringLiteral("type")].toString(), QStringLiteral("int"));
    EXPECT_EQ(readKeys.at(0)[QStringLiteral("value")].toInt(), 41);
    EXPECT_EQ(readKeys.at(1)[QStringLiteral("value")].toInt(), 42);
    EXPECT_TRUE(readKeys.at(19)[QStringLiteral("value")].isNull());
    QStringList fromFirstDelete;
    for (const QJsonObject& r : shared)
        if (!fromFirstDelete.isEmpty() || r.value(QStringLiteral("sql")).toString() == deleteAndCommit)
            fromFirstDelete << line(r).left(40);
    ASSERT_GE(fromFirstDelete.size(), 2);
    EXPECT_EQ(fromFirstDelete.mid(0, 2), (QStringList{QStringLiteral("rpc sp_prepexec: DELETE FROM Velocast WH"),
                                                      QStringLiteral("rpc sp_execute: DELETE FROM Velocast WHE")}));
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
        QStringLiteral("SELECT ID, Email, Assunto, Texto, IMAGEM_CORPO_MARKETING FROM Velocast WHERE ID IN ("),
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
    const qsizetype deleted =
        lines.indexOf(QStringLiteral("rpc sp_prepexec: DELETE FROM Velocast WHERE ID = @P1") + kCommitsAndBegins);
    ASSERT_GE(deleted, 0) << lines.join(QLatin1Char(10)).toStdString();
    EXPECT_FALSE(
        peer.firstStatement(QStringLiteral("DELETE FROM Velocast")).value(QStringLiteral("commit_begin")).toBool());
    EXPECT_EQ(lines.value(deleted + 1), QStringLiteral("tm: rollback"));
    EXPECT_FALSE(lines.mid(deleted).contains(QStringLiteral("tm: commit")));
}

// The outbox insert is prepared once per connection: a message text longer than any before
// (past what an NVARCHAR parameter holds, too) is only executed with it, and reaches the
// server whole, an empty text as empty and a missing one as NULL.
TEST(OutboxOnTheWire, TheInsertIsPreparedOnceWhateverTheTextsLength) {
    WireSession wire(sessionRules());
    wire.connection.open();
    const QStringList texts{QStringLiteral("Oi"), QStringLiteral("Parabéns! ").repeated(500),
                            QStringLiteral("🎂").repeated(9000), QStringLiteral(""), QString()};
    Outbox outbox(wire.session);
    wire.connection.beginTransaction();
    for (const QString& text : texts)
        outbox.append({QVariant(), QStringLiteral("ana@example.com"), QStringLiteral("Olá"), text, QString()});
    wire.connection.commit();

    QStringList procs;
    QList<QJsonValue> sent;
    for (const QJsonObject& r : wire.peer.statements()) {
        if (!r.value(QStringLiteral("sql")).toString().startsWith(QLatin1String("INSERT INTO Velocast"))) continue;
        procs << r.value(QStringLiteral("proc")).toString();
        sent << boundValues(r).at(2)[QStringLiteral("value")];
    }
    EXPECT_EQ(procs,
              (QStringList{QStringLiteral("sp_prepexec"), QStringLiteral("sp_execute"), QStringLiteral("sp_execute"),
                           QStringLiteral("sp_execute"), QStringLiteral("sp_execute")}));
    ASSERT_EQ(sent.size(), texts.size());
    for (qsizetype i = 0; i + 1 < texts.size(); ++i) EXPECT_EQ(sent.at(i).toString(), texts.at(i)) << i;
    EXPECT_TRUE(sent.last().isNull());
    wire.session.teardown();
}
