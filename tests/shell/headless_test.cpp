#include <QFile>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/host_database.h"
#include "support/smtp_scripted_server.h"
#include "support/velocast_process.h"

using velocast::testing::HostDatabase;
using velocast::testing::runBuiltProgram;

TEST(Headless, ABadDataLinkFileIsReportedWithItsPathAndFailsTheRun) {
    HostDatabase host;
    const QString missing = host.folder() + QStringLiteral("/nowhere.udl");
    const auto result = runBuiltProgram(
        QStringLiteral("velocast"),
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), missing});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(
        result.err.contains(QStringLiteral("velocast: error: caption=\"Velocast\" text=\"data-link file ") + missing))
        << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QLatin1String("does not exist"))) << result.err.toStdString();
    // The reason the database did not open is all there is to say.
    EXPECT_EQ(result.err.count(QLatin1String("velocast: ")), 1) << result.err.toStdString();
}

TEST(Headless, OnceRunsTheDayAndASecondStartAddsNothingWhileUnreachableServerKeepsTheRowsWithItsOwnStatus) {
    HostDatabase host;
    host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20 08:15:00")}});
    host.exec(
        QStringLiteral("UPDATE Qzcvar2 SET MARKETING_ANIVERSARUANETE = 'Sim', ASSUNTO_ANIVERSARIANTE = 'Parabéns'"));
    host.insert(QStringLiteral("AlunosAtivos"), {{QStringLiteral("MATRICULA"), QStringLiteral("1")},
                                                 {QStringLiteral("EMAIL"), QStringLiteral("ana@example.com")},
                                                 {QStringLiteral("RECEBER_EMAIL"), QStringLiteral("Sim")},
                                                 {QStringLiteral("DATA_NASCIMENTO"), QStringLiteral("1990-05-20")}});
    // Nobody listens on port 1: the row stays, and the run says so instead of passing for a
    // success, so that a timer or script knows the mail did not go out.
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1'"));
    const QStringList args{QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"),
                           host.dataLinkPath()};
    for (int start = 0; start < 2; ++start) {
        const auto result = runBuiltProgram(QStringLiteral("velocast"), args);
        EXPECT_EQ(result.exitCode, 75) << result.err.toStdString();
        EXPECT_FALSE(result.err.contains(QLatin1String("notice"))) << result.err.toStdString();
        EXPECT_EQ(result.err.count(QLatin1String("velocast: warning: ")), 1) << result.err.toStdString();
        EXPECT_TRUE(
            result.err.contains(QLatin1String("velocast: warning: 1 e-mail(s) stay in the outbox: SMTP server "
                                              "127.0.0.1:1: Socket Error # 111: Connection refused\n")))
            << result.err.toStdString();
        // One summary line a run: what each campaign wrote (nothing the second time), what stays.
        const QString wrote = start == 0 ? QStringLiteral("ANIVERSARIANTE=1") : QStringLiteral("ANIVERSARIANTE=0");
        EXPECT_TRUE(result.err.contains(
            QStringLiteral("velocast: summary: campaigns %1; sent=0 invalid=0 left=1\n").arg(wrote)))
            << result.err.toStdString();
    }
    EXPECT_EQ(host.count(QStringLiteral("Velocast"), QStringLiteral("Email = 'ana@example.com'")), 1);
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail"), QStringLiteral("ANIVERSARIANTE = 1")), 1);
    EXPECT_EQ(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 0);
}

TEST(Headless, AFailingCampaignIsNoticedAndEndsTheRunWithAFailureStatus) {
    HostDatabase host;
    host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET MARKETING_ANIVERSARUANETE = 'Sim'"));
    host.exec(QStringLiteral(
        "CREATE TRIGGER refuse BEFORE INSERT ON ControleEmail BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    const auto result = runBuiltProgram(
        QStringLiteral("velocast"),
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), host.dataLinkPath()});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.err.contains(
        QStringLiteral("velocast: notice: caption=\"Velocast\" text=\"Gravando na tabela !\" detail=\"Velocast\"")))
        << result.err.toStdString();
    EXPECT_EQ(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 0);
}

TEST(Headless, ADataSourceThatIsNoDatabaseReportsTheDatabasesOwnError) {
    HostDatabase host;
    const QString udl = host.folder() + QStringLiteral("/devnull.udl");
    velocast::testing::writeDataLink(udl, QStringLiteral("Provider=SQLite;Data Source=/dev/null"));
    const auto result =
        runBuiltProgram(QStringLiteral("velocast"),
                        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), udl});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.err.contains(QLatin1String("velocast: error: caption=\"Velocast\" text=\"disk I/O error")))
        << result.err.toStdString();
    // Not the rollback that SQLite had already done itself, nor the drop of a table that
    // was never committed.
    EXPECT_FALSE(result.err.contains(QLatin1String("rollback"))) << result.err.toStdString();
    EXPECT_FALSE(result.err.contains(QLatin1String("no such table"))) << result.err.toStdString();
}

TEST(Headless, SigtermDuringADatabaseOutageEndsTheProgramWithItsTeardown) {
    HostDatabase host;
    host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
    // Its removal shows that the program runs; the next drain's figures, that the first
    // drain is over (the outage must not fall into its transaction).
    host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QStringLiteral("not an address")}});
    QProcess run;
    run.setReadChannel(QProcess::StandardError);
    run.start(velocast::testing::builtProgramPath(QStringLiteral("velocast")),
              {QStringLiteral("--headless"), QStringLiteral("--data-link"), host.dataLinkPath()});
    ASSERT_TRUE(run.waitForStarted());
    QByteArray err;
    const auto waitFor = [&](const QByteArray& text) {
        while (!err.contains(text) && run.waitForReadyRead(20000)) err += run.readAllStandardError();
        return err.contains(text);
    };
    ASSERT_TRUE(waitFor("pending=0 invalid=1")) << err.toStdString();

    // The database goes away: the settings table stops answering, and reconnecting fails.
    host.exec(QStringLiteral("ALTER TABLE Qzcvar2 RENAME TO Qzcvar2Away"));
    ASSERT_TRUE(QFile::rename(host.path(), host.path() + QStringLiteral(".away")));
    ASSERT_TRUE(waitFor("text=\"Entre em contato com SUPORTE !\"")) << err.toStdString();
    ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
    const bool ended = run.waitForFinished(20000);
    if (!ended) run.kill();
    err += run.readAllStandardError();
    ASSERT_TRUE(ended) << "still running after SIGTERM; notices written: " << err.count("notice:");
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(run.exitCode(), 0);
    EXPECT_LE(err.count("notice:"), 3) << err.toStdString();
    // The teardown ran: it tried to drop the run table and said why it could not.
    EXPECT_TRUE(err.contains("velocast: error:")) << err.toStdString();
}

// Settings that no retry can make work keep the rows like an unreachable server, but the run
// must not ask to be tried again later: a person has to change the setting the line names.
TEST(Headless, OnceKeptForASettingOnlyAPersonCanFixEndsWithTheConfigurationStatus) {
    struct Case {
        const char* server;
        const char* mode;
        const char* setting;
    };
    const Case cases[] = {
        {"127.0.0.1:587", "utNoTLSSupport", "STMP_PROVEDOR"},   // no "*", so no host and no port
        {"127.0.0.1*587 ", "utNoTLSSupport", "STMP_PROVEDOR"},  // the port cannot be read
        {"127.0.0.1*1", "STARTTLS", "IdSMTP_UseTLS"},           // not a mode: required TLS was tried
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        HostDatabase host;
        host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
        host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QStringLiteral("ana@example.com")},
                                                 {QStringLiteral("Assunto"), QStringLiteral("Oi")}});
        host.exec(
            QStringLiteral(
                "UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = :m, EMAIL_PROVEDOR = 'clube@example.com'"),
            {{QStringLiteral("s"), QLatin1String(c.server)}, {QStringLiteral("m"), QLatin1String(c.mode)}});
        const auto result =
            runBuiltProgram(QStringLiteral("velocast"), {QStringLiteral("--headless"), QStringLiteral("--once"),
                                                         QStringLiteral("--data-link"), host.dataLinkPath()});
        EXPECT_EQ(result.exitCode, 78) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(QStringLiteral("(change Qzcvar2.%1;").arg(QLatin1String(c.setting))))
            << result.err.toStdString();
        EXPECT_EQ(host.count(QStringLiteral("Velocast")), 1);
    }
}

// A refused sign-in, or a TLS mode that is no mode meeting a server without STARTTLS, fails at
// every later run alike: the notice names what to change and the run asks for a person (78),
// while a server that only throttles the sign-in leaves the rows for a later run (75).
TEST(Headless, ARefusalOnlyAPersonCanMendNamesTheSettingAndEndsWithTheConfigurationStatus) {
    using velocast::mail::testing::reply;
    using velocast::mail::testing::ScriptedSmtpServer;
    struct Case {
        const char* name;
        const char* mode;
        std::string ehlo;
        std::string authReply;  // empty: the client gives up before AUTH
        int exitCode;
        const char* errHolds;
    };
    const Case cases[] = {
        {"a wrong password", "utNoTLSSupport", "250-mx.test\r\n250 AUTH PLAIN",
         "535 5.7.8 Authentication credentials invalid", 78, "change Qzcvar2.USERNAME or Qzcvar2.PASSWORD"},
        {"no mode, and no STARTTLS to fall back on", "TLS", "250-mx.test\r\n250 AUTH PLAIN", "", 78,
         "Qzcvar2.IdSMTP_UseTLS \\\"TLS\\\" is no TLS mode"},
        {"a throttled sign-in", "utNoTLSSupport", "250-mx.test\r\n250 AUTH PLAIN",
         "421 4.7.0 Too many login attempts, try later", 75, "sending paused until"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<ScriptedSmtpServer::Step> script{ScriptedSmtpServer::say("220 mx.test ESMTP")};
        for (auto& step : reply(c.ehlo)) script.push_back(step);
        if (!c.authReply.empty())
            for (auto& step : reply(c.authReply)) script.push_back(step);
        for (auto& step : reply("221 2.0.0 Bye")) script.push_back(step);
        ScriptedSmtpServer server(script);
        HostDatabase host;
        host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
        host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QStringLiteral("ana@example.com")},
                                                 {QStringLiteral("Assunto"), QStringLiteral("Oi")}});
        host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = :m, USERNAME = "
                                 "'clube@example.com', PASSWORD = 'wrong', EMAIL_PROVEDOR = 'clube@example.com'"),
                  {{QStringLiteral("s"), QStringLiteral("127.0.0.1*%1").arg(server.port())},
                   {QStringLiteral("m"), QLatin1String(c.mode)}});
        const auto result =
            runBuiltProgram(QStringLiteral("velocast"), {QStringLiteral("--headless"), QStringLiteral("--once"),
                                                         QStringLiteral("--data-link"), host.dataLinkPath()});
        server.transcript();
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(QLatin1String(c.errHolds))) << result.err.toStdString();
        EXPECT_EQ(host.count(QStringLiteral("Velocast")), 1);
    }
}

// A server that accepts the connection and never greets holds the client for its 30-second
// time-out; an end request must not wait for it. The run ends with the signal's status, its
// row kept and its run table gone.
TEST(Headless, ASignalDuringAnSmtpWaitEndsTheRunAtOnceWithItsStatus) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        uint16_t port = 0;
        const int listener = velocast::mail::testing::listenOnLoopback(1, port, "silent server");
        HostDatabase host;
        host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
        host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QStringLiteral("ana@example.com")},
                                                 {QStringLiteral("Assunto"), QStringLiteral("Oi")}});
        host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = 'utNoTLSSupport'"),
                  {{QStringLiteral("s"), QStringLiteral("127.0.0.1*%1").arg(port)}});
        QProcess run;
        run.start(velocast::testing::builtProgramPath(QStringLiteral("velocast")),
                  {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"),
                   host.dataLinkPath()});
        ASSERT_TRUE(run.waitForStarted());
        // The program's connection arriving is the event: from then on it waits for a greeting.
        pollfd p{listener, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 60000), 1) << run.readAllStandardError().toStdString();
        const int connection = ::accept(listener, nullptr, nullptr);
        ::kill(static_cast<pid_t>(run.processId()), signal);
        // Well before the greeting's 30-second time-out, which would end the wait by itself.
        const bool ended = run.waitForFinished(15000);
        if (!ended) {
            run.kill();
            run.waitForFinished();
        }
        ::close(connection);
        ::close(listener);
        const QByteArray err = run.readAllStandardError();
        ASSERT_TRUE(ended) << "still waiting for the server after the signal: " << err.toStdString();
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), 128 + signal) << err.toStdString();
        EXPECT_EQ(host.count(QStringLiteral("Velocast")), 1);
        EXPECT_EQ(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 0)
            << err.toStdString();
    }
}

// A database whose cash register was never opened has no business date: the run says so and
// fails, and no campaign is latched for 30/12/1899.
TEST(Headless, NoCashSessionIsAFailureThatLatchesNothing) {
    HostDatabase host;
    host.exec(QStringLiteral("DELETE FROM Caixa"));
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET MARKETING_ANIVERSARUANETE = 'Sim'"));
    const auto result = runBuiltProgram(
        QStringLiteral("velocast"),
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), host.dataLinkPath()});
    EXPECT_EQ(result.exitCode, 1) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(
        QLatin1String("text=\"Entre em contato com SUPORTE !\" detail=\"Caixa\\nno cash-register session")))
        << result.err.toStdString();
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);
}
