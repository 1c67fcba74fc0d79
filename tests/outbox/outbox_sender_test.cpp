#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "outbox_fixture.h"
#include "support/aiosmtpd_peer.h"
#include "support/parsed_message.h"
#include "support/velocast_process.h"
#include "support/smtp_scripted_server.h"
#include "support/smtp_table_peer.h"

using namespace velocast;
using velocast::testing::OutboxFixture;

TEST_F(OutboxFixture, InvalidAndEmptyAddressesAreCountedAndDeletedWithoutAnyServer) {
    smtpAccount(QStringLiteral("127.0.0.1*1"));  // nothing listens; nothing may connect either
    addRow(QStringLiteral("not an address"));
    addRow(QVariant());
    addRow(QStringLiteral("   "));
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_EQ(counters.invalid, 3);
    EXPECT_EQ(counters.sent, 0);
    EXPECT_TRUE(notices.shown.empty());
    // Each discarded row shows the invalid figure; the pending figure keeps the drain's start
    // count minus the sent counter, as it always did.
    EXPECT_EQ(figures, (std::vector<std::tuple<Figure, qint32>>{{Figure::Sent, 0},
                                                                {Figure::Pending, 3},
                                                                {Figure::Invalid, 1},
                                                                {Figure::Sent, 0},
                                                                {Figure::Pending, 3},
                                                                {Figure::Invalid, 2},
                                                                {Figure::Sent, 0},
                                                                {Figure::Pending, 3},
                                                                {Figure::Invalid, 3},
                                                                {Figure::Sent, 0},
                                                                {Figure::Pending, 3}}));
}

TEST_F(OutboxFixture, RowsStaySilentlyWhenThePortCannotBeReadOrNobodyAnswers) {
    addRow(QStringLiteral("ana@example.com"));
    addRow(QStringLiteral("bia@example.com"));
    // The drain tells its caller which server kept the rows and why, so --once can say so.
    const struct {
        const char* setting;
        const char* server;
        const char* reason;
    } cases[] = {
        {"127.0.0.1*2525 ", "\"127.0.0.1*2525 \"", "no port can be read"},
        {"127.0.0.1*1", "127.0.0.1:1", "Socket Error # 111: Connection refused"},
        {"127.0.0.1", "\"127.0.0.1\"", "no port can be read"},
        {"*2525", ":2525", "A Host is required"},
    };
    for (const auto& c : cases) {
        smtpAccount(QLatin1String(c.setting));
        ASSERT_TRUE(sender->ENVIAR_EMAIL()) << c.setting;
        EXPECT_EQ(outbox().size(), 2) << c.setting;
        EXPECT_EQ(sender->rowsFinishedInLastDrain(), 0);
        const auto& kept = sender->rowsKeptForServerInLastDrain();
        EXPECT_EQ(kept.rows, 2) << c.setting;
        EXPECT_EQ(kept.server, QLatin1String(c.server));
        EXPECT_TRUE(kept.reason.contains(QLatin1String(c.reason))) << kept.reason.toStdString();
        EXPECT_FALSE(kept.reason.contains(QLatin1Char('\n')) || kept.reason.contains(QLatin1Char('\r')));
    }
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_EQ(counters.sent, 0);
    EXPECT_EQ(failures, 0);
}

TEST_F(OutboxFixture, AnEmptyOutboxDrainsToTrueAndTheTickRearmsTheTimer) {
    sender->startTick();
    sender->Timer2Timer();
    EXPECT_TRUE(sender->tickActive());
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(figures, (std::vector<std::tuple<Figure, qint32>>{{Figure::Sent, 0}, {Figure::Pending, 0}}));
    // A tick that arrives after the timer was stopped does nothing.
    sender->stopTick();
    figures.clear();
    sender->Timer2Timer();
    EXPECT_TRUE(figures.empty());
}

namespace {
using velocast::mail::testing::AiosmtpdPeer;
using velocast::mail::testing::reply;
using velocast::mail::testing::ScriptedSmtpServer;

std::vector<std::tuple<Figure, qint32>> sentAndPending(const std::vector<std::tuple<Figure, qint32>>& figures) {
    std::vector<std::tuple<Figure, qint32>> out;
    for (const auto& f : figures)
        if (std::get<0>(f) != Figure::Invalid) out.push_back(f);
    return out;
}
}  // namespace

TEST_F(OutboxFixture, SendsEveryRowOverStartTlsWithAuthenticationAndEmptiesTheOutbox) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("clube"), QStringLiteral("s3nh@"));
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(server.port()), QStringLiteral("utUseExplicitTLS"));
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET USERNAME = 'clube', PASSWORD = 's3nh@'"));
    session.TBLCONTROLE2.close();
    session.openSettings();
    addRow(QStringLiteral("  ana@example.com "), QStringLiteral("Feliz aniversário, Ana"),
           QStringLiteral("Parabéns!\r\n.Tudo de bom."));
    addRow(QStringLiteral("bia@example.com"));
    addRow(QStringLiteral("caio@example.com"));

    ASSERT_TRUE(sender->ENVIAR_EMAIL()) << (notices.shown.empty() ? "" : notices.shown[0].detail.toStdString());
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_EQ(counters.sent, 3);
    EXPECT_EQ(sender->rowsKeptForServerInLastDrain().rows, 0);
    using F = std::tuple<Figure, qint32>;
    const Figure sent = Figure::Sent, pending = Figure::Pending;
    EXPECT_EQ(sentAndPending(figures),
              (std::vector<F>{
                  {sent, 0}, {pending, 3}, {sent, 1}, {pending, 2}, {sent, 2}, {pending, 1}, {sent, 3}, {pending, 0}}));

    const QByteArray login = server.nextEvent();
    EXPECT_TRUE(login.startsWith("AUTH ") && login.endsWith(" clube ok")) << login.toStdString();
    const QStringList recipients{QStringLiteral("ana@example.com"), QStringLiteral("bia@example.com"),
                                 QStringLiteral("caio@example.com")};
    for (const QString& to : recipients) {
        const QJsonObject message = server.nextMessage();
        EXPECT_TRUE(message.value(QStringLiteral("tls")).toBool());
        EXPECT_EQ(message.value(QStringLiteral("from")).toString(), QStringLiteral("clube@example.com"));
        EXPECT_EQ(message.value(QStringLiteral("to")).toArray().first().toString(), to);
        const QString data = message.value(QStringLiteral("data")).toString();
        EXPECT_TRUE(data.contains(QStringLiteral("To: ") + to)) << data.toStdString();
        if (to.startsWith(QLatin1String("ana"))) {
            // The text in its declared charset, quoted-printable: a leading dot goes as "=2E".
            EXPECT_TRUE(data.contains(QStringLiteral("charset=windows-1252"))) << data.toStdString();
            EXPECT_TRUE(data.contains(QStringLiteral("Parab=E9ns!\r\n=2ETudo de bom."))) << data.toStdString();
        }
    }
    // The next drain finds nothing and says so.
    figures.clear();
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(figures, (std::vector<F>{{sent, 3}, {pending, 0}}));
}

// The program's own message (the club's report) rides the tick's drain: on the rows' session,
// after them, counted as sent.
TEST_F(OutboxFixture, TheOwnMessageGoesOnTheDrainsSessionAfterTheRowsAndCountsAsSent) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("clube"), QStringLiteral("s3nh@"));
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(server.port()), QStringLiteral("utUseExplicitTLS"));
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET USERNAME = 'clube', PASSWORD = 's3nh@'"));
    session.TBLCONTROLE2.close();
    session.openSettings();
    PacingSettings pacing;
    pacing.messagesPerConnection = 10;
    sender->setPacing(pacing);
    addRow(QStringLiteral("ana@example.com"));
    std::vector<int> asked;
    int went = 0;
    sender->ownMessage = [&](int rowsLeft) -> std::optional<OutboxSender::OwnMessage> {
        asked.push_back(rowsLeft);
        if (went > 0) return std::nullopt;
        return OutboxSender::OwnMessage{
            QStringLiteral("gerencia@example.com"), QStringLiteral("Relatório"), QStringLiteral("Enviados: 1"),
            mail::AttachedData{QStringLiteral("r.csv"), "text/csv; charset=UTF-8", "a,b\r\n"}};
    };
    sender->ownMessageSent = [&](const mail::ComposedMessage&) { ++went; };

    sender->startTick();
    sender->Timer2Timer();
    EXPECT_EQ(went, 1);
    EXPECT_EQ(asked, std::vector<int>{0});
    EXPECT_EQ(counters.sent, 2);
    EXPECT_TRUE(server.nextEvent().startsWith("AUTH "));
    EXPECT_EQ(server.nextMessage().value(QStringLiteral("to")).toArray().first().toString(),
              QStringLiteral("ana@example.com"));
    const QJsonObject report = server.nextMessage();
    EXPECT_EQ(report.value(QStringLiteral("to")).toArray().first().toString(), QStringLiteral("gerencia@example.com"));
    EXPECT_EQ(report.value(QStringLiteral("from")).toString(), QStringLiteral("clube@example.com"));
    // One session carried both: no second sign-in.
    EXPECT_EQ(server.nextEvent(500), QByteArray("!no event"));

    // Every drain asks again; whether it is still due is the caller's to say.
    sender->Timer2Timer();
    EXPECT_EQ(asked, (std::vector<int>{0, 0}));
}

// A server whose certificate names another host hears no password: the send fails as any
// send does (the notice, the row kept, the program asked to end), and the notice says why
// and how to pin the server should it really be the club's.
TEST_F(OutboxFixture, AServerWhoseCertificateIsForAnotherHostGetsNoPasswordAndTheRowStays) {
    for (const auto& [server, mode, first] :
         {std::tuple{AiosmtpdPeer::Mode::StartTls, "utUseRequireTLS", "SSL negotiation failed."},
          std::tuple{AiosmtpdPeer::Mode::Implicit, "utUseImplicitTLS", "Error connecting with SSL."}}) {
        SCOPED_TRACE(mode);
        notices.shown.clear();
        failures = 0;
        if (!connection.isOpen()) {
            connection.open();
            ASSERT_TRUE(session.ABRE_TABELAS());
        }
        AiosmtpdPeer peer(server, QStringLiteral("clube"), QStringLiteral("s3nh@"), {}, {},
                          {QStringLiteral("wrong.example")});
        smtpAccount(QStringLiteral("127.0.0.1*%1").arg(peer.port()), QLatin1String(mode));
        host.exec(QStringLiteral("UPDATE Qzcvar2 SET USERNAME = 'clube', PASSWORD = 's3nh@'"));
        session.TBLCONTROLE2.close();
        session.openSettings();
        if (outbox().isEmpty()) addRow(QStringLiteral("ana@example.com"));

        EXPECT_FALSE(sender->ENVIAR_EMAIL());
        ASSERT_EQ(notices.shown.size(), 1u);
        EXPECT_EQ(notices.shown[0].text, kProblemaAoEnviar);
        const QString detail = notices.shown[0].detail;
        EXPECT_TRUE(
            detail.startsWith(QLatin1String(first) + QStringLiteral("\r\nThe server's certificate was refused: "
                                                                    "certificate for wrong.example, not 127.0.0.1.")))
            << detail.toStdString();
        EXPECT_TRUE(detail.contains(QLatin1String("\"pin = sha256/...\" line"))) << detail.toStdString();
        EXPECT_EQ(failures, 1);
        EXPECT_EQ(counters.sent, 0);
        EXPECT_EQ(sender->rowsKeptForServerInLastDrain().rows, 0);
        EXPECT_EQ(outbox(), QStringList{QStringLiteral("ana@example.com")});
    }
}

TEST_F(OutboxFixture, ARowRemovedByOthersDuringTheDrainIsNoErrorAndIsNotSent) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p"));
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(server.port()), QStringLiteral("utUseExplicitTLS"));
    addRow(QStringLiteral("ana@example.com"));
    addRow(QStringLiteral("bia@example.com"));
    addRow(QStringLiteral("caio@example.com"));
    // Someone removes bia's row (the outbox emptied from the tray menu, say) while the drain is
    // between two rows: the club no longer wants it sent.
    QTimer::singleShot(0,
                       [this] { host.exec(QStringLiteral("DELETE FROM Velocast WHERE Email = 'bia@example.com'")); });
    EXPECT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(counters.sent, 2);
    EXPECT_EQ(server.nextMessage().value(QStringLiteral("to")).toArray().first().toString(),
              QStringLiteral("ana@example.com"));
    EXPECT_EQ(server.nextMessage().value(QStringLiteral("to")).toArray().first().toString(),
              QStringLiteral("caio@example.com"));
    EXPECT_EQ(sender->rowsFinishedInLastDrain(), 3);
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_EQ(failures, 0);
}

TEST_F(OutboxFixture, SettingsTheWatchdogReadsAgainBetweenTwoRowsServeTheNextRow) {
    AiosmtpdPeer first(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p"));
    AiosmtpdPeer second(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p"));
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(first.port()), QStringLiteral("utUseExplicitTLS"));
    addRow(QStringLiteral("ana@example.com"));
    addRow(QStringLiteral("bia@example.com"));
    // The club moves to another server while the drain is between two rows; the watchdog's
    // next tick reopens the settings table.
    QTimer::singleShot(
        0, [&] { smtpAccount(QStringLiteral("127.0.0.1*%1").arg(second.port()), QStringLiteral("utNoTLSSupport")); });
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(counters.sent, 2);
    const QJsonObject one = first.nextMessage(), two = second.nextMessage();
    EXPECT_EQ(one.value(QStringLiteral("to")).toArray().first().toString(), QStringLiteral("ana@example.com"));
    EXPECT_TRUE(one.value(QStringLiteral("tls")).toBool());
    EXPECT_EQ(two.value(QStringLiteral("to")).toArray().first().toString(), QStringLiteral("bia@example.com"));
    EXPECT_FALSE(two.value(QStringLiteral("tls")).toBool());
}

TEST_F(OutboxFixture, ADatabaseErrorAfterTheSendIsReportedAndTheRowStays) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p"));
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(server.port()));
    addRow(QStringLiteral("ana@example.com"));
    addRow(QStringLiteral("bia@example.com"));
    // Another program holds the write lock for longer than the program waits for it.
    QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
    locker.setDatabaseName(host.path());
    ASSERT_TRUE(locker.open());
    ASSERT_TRUE(QSqlQuery(locker).exec(QStringLiteral("BEGIN IMMEDIATE")));

    sender->startTick();
    sender->Timer2Timer();
    ASSERT_TRUE(QSqlQuery(locker).exec(QStringLiteral("ROLLBACK")));
    locker.close();
    locker = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("locker"));

    ASSERT_EQ(notices.shown.size(), 1u);
    EXPECT_TRUE(notices.shown[0].isError());
    EXPECT_TRUE(notices.shown[0].text.contains(QLatin1String("database is locked")))
        << notices.shown[0].text.toStdString();
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(sender->tickActive());
    // The first message went out; its row stays (one duplicate at the next start, never a
    // lost message), and the drain went no further.
    EXPECT_EQ(server.nextMessage().value(QStringLiteral("to")).toArray().first().toString(),
              QStringLiteral("ana@example.com"));
    EXPECT_EQ(outbox(), (QStringList{QStringLiteral("ana@example.com"), QStringLiteral("bia@example.com")}));
}

TEST_F(OutboxFixture, ARowKeptTwiceInOneDrainCountsOnceAmongTheRowsKeptForTheServer) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p"));
    const QString good = QStringLiteral("127.0.0.1*%1").arg(server.port()), bad = QStringLiteral("127.0.0.1*1");
    addRow(QStringLiteral("ana@example.com"));
    addRow(QStringLiteral("bia@example.com"));
    smtpAccount(bad, QStringLiteral("utUseExplicitTLS"));
    // ana finds nobody; the server answers for bia; once bia is sent it is gone again, and
    // ana, current again after bia's delete, is kept a second time.
    QTimer::singleShot(0, [&] { smtpAccount(good); });
    OutboxSender drain(session, notices, counters);
    QObject::connect(&drain, &OutboxSender::figureChanged, [&](Figure figure, qint32 value) {
        if (figure == Figure::Sent && value == 1) smtpAccount(bad);
    });
    drain.IdSMTP.setTimeouts({5000, 5000, 5000});
    ASSERT_TRUE(drain.ENVIAR_EMAIL());
    EXPECT_EQ(outbox(), QStringList{QStringLiteral("ana@example.com")});
    EXPECT_EQ(counters.sent, 1);
    EXPECT_EQ(drain.rowsKeptForServerInLastDrain().rows, 1);
    EXPECT_EQ(drain.rowsKeptForServerInLastDrain().server, QStringLiteral("127.0.0.1:1"));
}

TEST_F(OutboxFixture, AFailedSendShowsTheServersReplyKeepsTheRowAndEndsTheProgram) {
    using S = ScriptedSmtpServer;
    std::vector<S::Step> script{S::say("220 mx.example.com ESMTP")};
    for (const char* answer : {"250 mx.example.com", "250 ok"}) {
        auto step = reply(answer);
        script.insert(script.end(), step.begin(), step.end());
    }
    for (const char* answer : {"550 5.7.1 <ana@example.com>: relaying denied", "250 reset"}) {
        auto step = reply(answer);
        script.insert(script.end(), step.begin(), step.end());
    }
    script.push_back(S::awaitClose());
    ScriptedSmtpServer server(script);
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(server.port()));
    addRow(QStringLiteral("ana@example.com"));
    addRow(QStringLiteral("bia@example.com"));

    sender->startTick();
    sender->Timer2Timer();
    ASSERT_EQ(notices.shown.size(), 1u);
    EXPECT_EQ(notices.shown[0].text, QStringLiteral("Problema ao enviar e-mail ! \r Verifique seu Provedor."));
    EXPECT_TRUE(notices.shown[0].detail.contains(QLatin1String("relaying denied")))
        << notices.shown[0].detail.toStdString();
    EXPECT_EQ(failures, 1) << "one end request, and so one hide of the window";
    EXPECT_FALSE(sender->tickActive());
    EXPECT_FALSE(connection.isOpen());  // the row's transaction was rolled back by the close
    EXPECT_EQ(outbox(), (QStringList{QStringLiteral("ana@example.com"), QStringLiteral("bia@example.com")}));
    const auto heard = server.transcript();
    ASSERT_GE(heard.size(), 4u);
    EXPECT_EQ(heard[3], "RSET");
    EXPECT_EQ(heard.size(), 4u);  // released without QUIT, nothing more
}

TEST_F(OutboxFixture, ARecipientRefusedAsABadAddressIsCountedInvalidAndTheDrainGoesOn) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p"), {},
                        {QStringLiteral("ninguem@example.com=550 5.1.1 <ninguem@example.com>: no such user"),
                         QStringLiteral("nulo@example.com=556 5.1.10 recipient has a null MX")});
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(server.port()));
    for (const char* to : {"ninguem@example.com", "ana@example.com", "nulo@example.com", "bia@example.com"})
        addRow(QLatin1String(to));

    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_EQ(failures, 0);
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_EQ(counters.invalid, 2);
    EXPECT_EQ(counters.sent, 2);
    EXPECT_EQ(
        refusals,
        (std::vector<std::tuple<QString, QString>>{
            {QStringLiteral("ninguem@example.com"), QStringLiteral("550 5.1.1 <ninguem@example.com>: no such user")},
            {QStringLiteral("nulo@example.com"), QStringLiteral("556 5.1.10 recipient has a null MX")}}));
    for (const char* to : {"ana@example.com", "bia@example.com"})
        EXPECT_EQ(server.nextMessage().value(QStringLiteral("to")).toArray(), QJsonArray{QLatin1String(to)});
}

TEST_F(OutboxFixture, RecipientRefusalsThatBlameTheAccountStillEndTheProgramAndKeepTheRow) {
    // A policy or relay refusal may be the account's fault: it must never empty the outbox.
    const QStringList cases{QStringLiteral("politica@example.com=550 5.7.1 relaying denied"),
                            QStringLiteral("relay@example.com=554 Relay access denied")};
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p"), {}, cases);
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(server.port()));
    for (const QString& refusal : cases) {
        const QString to = refusal.section(u'=', 0, 0);
        SCOPED_TRACE(to.toStdString());
        host.exec(QStringLiteral("DELETE FROM Velocast"));
        addRow(to);
        notices.shown.clear();
        if (!connection.isOpen()) connection.open();  // the failed send before closed it
        EXPECT_FALSE(sender->ENVIAR_EMAIL());
        ASSERT_EQ(notices.shown.size(), 1u);
        // The server's whole reply: its code, the enhanced code where it gave one, the text.
        EXPECT_EQ(notices.shown[0].detail, refusal.section(u'=', 1));
        EXPECT_EQ(outbox(), QStringList{to});
    }
    EXPECT_TRUE(refusals.empty());  // none was taken for a bad address
    EXPECT_EQ(counters.invalid, 0);
}

TEST_F(OutboxFixture, AnAttachmentThatCannotOrMayNotBeReadDefersItsRowsReportsOnceAndTheOthersGo) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p"));
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(server.port()), QStringLiteral("utNoTLSSupport"));
    const QString fifo = host.folder() + QStringLiteral("/fila.png");  // no writer: an open would wait for ever
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // The last one is a readable file outside the attachment folders: it is kept as well.
    for (const QString& attachment :
         {host.folder() + QStringLiteral("/bolo.png"), fifo, QStringLiteral("/etc/passwd")}) {
        SCOPED_TRACE(attachment.toStdString());
        host.exec(QStringLiteral("DELETE FROM Velocast"));
        unreadable.clear();
        addRow(QStringLiteral("ana@example.com"), QStringLiteral("Oi"), QStringLiteral("Texto"), attachment);
        addRow(QStringLiteral("bia@example.com"), QStringLiteral("Oi"), QStringLiteral("Texto"), attachment);
        addRow(QStringLiteral("caio@example.com"));
        EXPECT_TRUE(sender->ENVIAR_EMAIL());
        EXPECT_TRUE(notices.shown.empty());
        EXPECT_EQ(failures, 0);
        EXPECT_EQ(outbox(), (QStringList{QStringLiteral("ana@example.com"), QStringLiteral("bia@example.com")}));
        EXPECT_EQ(sender->rowsDeferredInLastDrain(), 2);
        ASSERT_EQ(unreadable.size(), 1u);  // one report for the file, not one per row
        EXPECT_EQ(std::get<0>(unreadable[0]), attachment);
        EXPECT_TRUE(std::get<1>(unreadable[0]).contains(attachment)) << std::get<1>(unreadable[0]).toStdString();
        EXPECT_EQ(server.nextMessage().value(QStringLiteral("to")).toArray(),
                  QJsonArray{QStringLiteral("caio@example.com")});
    }
}

TEST(OutboxHeadless, ARecipientRefusedByPolicyEndsTheRunWithAFailureAndTheRowIsFirstAgainNextTime) {
    using S = ScriptedSmtpServer;
    std::vector<S::Step> script{S::say("220 mx.example.com ESMTP")};
    for (const char* answer : {"250 mx.example.com", "250 ok", "554 5.7.1 relay access denied", "250 reset"}) {
        auto step = reply(answer);
        script.insert(script.end(), step.begin(), step.end());
    }
    script.push_back(S::awaitClose());
    ScriptedSmtpServer server(script);
    velocast::testing::HostDatabase host;
    host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*%1', EMAIL_PROVEDOR = 'clube@example.com'")
                  .arg(server.port()));
    host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QStringLiteral("ninguem@example.com")},
                                             {QStringLiteral("Texto"), QStringLiteral("Oi")}});
    host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QStringLiteral("ana@example.com")},
                                             {QStringLiteral("Texto"), QStringLiteral("Oi")}});

    const auto result = velocast::testing::runBuiltProgram(
        QStringLiteral("velocast"),
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), host.dataLinkPath()});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.err.contains(QStringLiteral(
        "text=\"Problema ao enviar e-mail ! \\r Verifique seu Provedor.\" detail=\"554 5.7.1 relay access denied\"")))
        << result.err.toStdString();
    EXPECT_EQ(host.strings(QStringLiteral("SELECT Email FROM Velocast ORDER BY ID")),
              (QStringList{QStringLiteral("ninguem@example.com"), QStringLiteral("ana@example.com")}));
    EXPECT_EQ(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 0);
}

TEST(OutboxHeadless, ARecipientRefusedAsABadAddressIsLoggedAndTheRestIsSent) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p"), {},
                        {QStringLiteral("ninguem@example.com=550 5.1.1 no such user")});
    velocast::testing::HostDatabase host;
    host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*%1', IdSMTP_UseTLS = 'utNoTLSSupport', "
                             "EMAIL_PROVEDOR = 'clube@example.com'")
                  .arg(server.port()));
    for (const char* to : {"ninguem@example.com", "ana@example.com"})
        host.insert(QStringLiteral("Velocast"),
                    {{QStringLiteral("Email"), QLatin1String(to)}, {QStringLiteral("Texto"), QStringLiteral("Oi")}});

    const auto result = velocast::testing::runBuiltProgram(
        QStringLiteral("velocast"),
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), host.dataLinkPath()});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(
        result.err.contains(QStringLiteral("velocast: warning: recipient refused, outbox row removed: "
                                           "address=\"ninguem@example.com\" reply=\"550 5.1.1 no such user\"")))
        << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QLatin1String("sent=1 pending=0 invalid=1"))) << result.err.toStdString();
    EXPECT_EQ(host.count(QStringLiteral("Velocast")), 0);
    EXPECT_EQ(server.nextMessage().value(QStringLiteral("to")).toArray(),
              QJsonArray{QStringLiteral("ana@example.com")});
}

namespace {

velocast::testing::ProcessResult runOnce(const velocast::testing::HostDatabase& host) {
    return velocast::testing::runBuiltProgram(
        QStringLiteral("velocast"),
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), host.dataLinkPath()});
}

void outboxOf(velocast::testing::HostDatabase& host, const QString& server, const QStringList& addresses,
              const QString& tls = QStringLiteral("utNoTLSSupport")) {
    host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = :t, USERNAME = NULL, "
                             "EMAIL_PROVEDOR = 'clube@example.com'"),
              {{QStringLiteral("s"), server}, {QStringLiteral("t"), tls}});
    for (const QString& to : addresses)
        host.insert(QStringLiteral("Velocast"),
                    {{QStringLiteral("Email"), to}, {QStringLiteral("Texto"), QStringLiteral("Oi")}});
}

}  // namespace

TEST(OutboxHeadless, AThrottledRunEndsWithItsRowsKeptAndTheTryLaterStatus) {
    using Peer = velocast::testing::SmtpTablePeer;
    Peer peer({{Peer::Step::DataEnd, {}, "550 5.4.5 Daily user sending limit exceeded", -1, 1}});
    velocast::testing::HostDatabase host;
    outboxOf(
        host, QStringLiteral("127.0.0.1*%1").arg(peer.port()),
        {QStringLiteral("ana@example.com"), QStringLiteral("bia@example.com"), QStringLiteral("caio@example.com")});

    const auto result = runOnce(host);
    EXPECT_EQ(result.exitCode, 75) << result.err.toStdString();
    EXPECT_EQ(result.err.count(QLatin1String("velocast: warning: sending paused until 00:00")), 1)
        << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QLatin1String("5.4.5 Daily user sending limit exceeded")))
        << result.err.toStdString();
    EXPECT_FALSE(result.err.contains(QLatin1String("notice"))) << result.err.toStdString();
    EXPECT_EQ(peer.accepted(), QStringList{QStringLiteral("ana@example.com")});
    EXPECT_EQ(host.strings(QStringLiteral("SELECT Email FROM Velocast ORDER BY ID")),
              (QStringList{QStringLiteral("bia@example.com"), QStringLiteral("caio@example.com")}));
}

TEST(OutboxHeadless, AGreylistedRecipientWaitsWhileTheOthersGoAndTheRunSucceeds) {
    using Peer = velocast::testing::SmtpTablePeer;
    Peer peer({{Peer::Step::Rcpt, QStringLiteral("grey@example.com"), "450 4.2.0 Greylisted, come back later"}});
    velocast::testing::HostDatabase host;
    outboxOf(
        host, QStringLiteral("127.0.0.1*%1").arg(peer.port()),
        {QStringLiteral("grey@example.com"), QStringLiteral("ana@example.com"), QStringLiteral("bia@example.com")});

    for (int run = 0; run < 2; ++run) {  // the second run does not try it again before its time
        const auto result = runOnce(host);
        EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
        EXPECT_FALSE(result.err.contains(QLatin1String("notice"))) << result.err.toStdString();
    }
    EXPECT_EQ(peer.accepted(), (QStringList{QStringLiteral("ana@example.com"), QStringLiteral("bia@example.com")}));
    EXPECT_EQ(peer.commands().filter(QStringLiteral("RCPT TO:<grey@example.com>")).size(), 1);
    EXPECT_EQ(host.strings(QStringLiteral("SELECT Email FROM Velocast")),
              QStringList{QStringLiteral("grey@example.com")});
}

TEST(OutboxHeadless, AnImplicitTlsPortInAnotherModeFailsAtOnceNamingTheSetting) {
    velocast::testing::HostDatabase host;
    outboxOf(host, QStringLiteral("127.0.0.1*465"), {QStringLiteral("ana@example.com")},
             QStringLiteral("utUseExplicitTLS"));
    const auto result = runOnce(host);
    // No later run can make this work: the status asks for a person, not for a retry.
    EXPECT_EQ(result.exitCode, 78) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QLatin1String("Set IdSMTP_UseTLS to utUseImplicitTLS for port 465")))
        << result.err.toStdString();
    EXPECT_EQ(host.count(QStringLiteral("Velocast")), 1);
}

TEST(OutboxHeadless, MarketingRowsCarryTheOptOutLinkAndTheFooterServiceRowsNeither) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p"));
    velocast::testing::HostDatabase host;
    outboxOf(host, QStringLiteral("127.0.0.1*%1").arg(server.port()), {});
    host.exec(
        QStringLiteral("UPDATE Qzcvar2 SET ASSUNTO_ANIVERSARIANTE = 'Feliz aniversário', "
                       "ASSUNTO_INADIMPLENTES = 'Sua mensalidade'"));
    for (const char* subject : {"Feliz aniversário", "Sua mensalidade"})
        host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QStringLiteral("Ana@Example.com")},
                                                 {QStringLiteral("Assunto"), QString::fromUtf8(subject)},
                                                 {QStringLiteral("Texto"), QStringLiteral("Oi")}});
    QTemporaryDir folder;
    QFile conf(folder.filePath(QStringLiteral("velocast.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("[unsubscribe]\nfooter = Para sair da lista, use o link do seu e-mail.\n");
    conf.close();

    const auto result = velocast::testing::runBuiltProgram(
        QStringLiteral("velocast"), {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--config"),
                                     conf.fileName(), QStringLiteral("--data-link"), host.dataLinkPath()});
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    // What the server received, by subject, and as a mail reader sees it.
    QMap<QString, QByteArray> bySubject;
    auto parsed = [](QByteArray data) {
        return velocast::testing::parsedByPython(data.replace("\r\n", "\n").split('\n'));
    };
    for (int i = 0; i < 2; ++i) {
        const QByteArray data = server.nextMessage().value(QStringLiteral("data")).toString().toLatin1();
        bySubject.insert(parsed(data)[QStringLiteral("subject")].toString(), data);
    }
    const QByteArray birthday = bySubject.value(QString::fromUtf8("Feliz aniversário"));
    const QJsonObject link = parsed(birthday)[QStringLiteral("list_unsubscribe")].toObject();
    EXPECT_EQ(link[QStringLiteral("to")].toString(), QStringLiteral("clube@example.com"));
    EXPECT_TRUE(link[QStringLiteral("subject")].toString().endsWith(QLatin1String(" ana@example.com")))
        << birthday.toStdString();
    EXPECT_TRUE(birthday.contains("Para sair da lista, use o link do seu e-mail.")) << birthday.toStdString();
    const QByteArray overdue = bySubject.value(QStringLiteral("Sua mensalidade"));
    EXPECT_TRUE(parsed(overdue)[QStringLiteral("list_unsubscribe")].isNull()) << overdue.toStdString();
    EXPECT_FALSE(overdue.contains("Para sair"));
}
