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

// A peer that accepts the connection and never answers holds the client for a long time-out
// (the SMTP greeting's 30 seconds, the OAuth token request's 30); an end request must not wait
// for it. The run ends with the signal's status, its row kept and its run table gone.
TEST(Headless, ASignalDuringAWaitForAPeerEndsTheRunAtOnceWithItsStatus) {
    struct Wait {
        const char* name;
        bool oauth;  // the silent peer is the token endpoint; the SMTP server is never reached
    };
    for (const Wait wait : {Wait{"SMTP greeting", false}, Wait{"OAuth token request", true}}) {
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            SCOPED_TRACE(wait.name);
            SCOPED_TRACE(signal);
            uint16_t port = 0;
            const int listener = velocast::mail::testing::listenOnLoopback(1, port, "silent peer");
            HostDatabase host;
            host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
            host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QStringLiteral("ana@example.com")},
                                                     {QStringLiteral("Assunto"), QStringLiteral("Oi")}});
            host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = 'utNoTLSSupport', "
                                     "USERNAME = 'clube@example.com'"),
                      {{QStringLiteral("s"), QStringLiteral("127.0.0.1*%1").arg(wait.oauth ? 1 : port)}});
            if (wait.oauth) {
                QFile conf(host.folder() + QStringLiteral("/velocast.conf"));
                ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
                conf.write(QStringLiteral("[oauth]\nprovider = custom\nclient_id = velocast-test\ngrant = "
                                          "client_credentials\nclient_secret = s3cr3t\nscope = smtp\n"
                                          "token_endpoint = https://127.0.0.1:%1/token\n"
                                          "device_endpoint = https://127.0.0.1:%1/device\n")
                               .arg(port)
                               .toUtf8());
            }
            QProcess run;
            run.start(velocast::testing::builtProgramPath(QStringLiteral("velocast")),
                      {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"),
                       host.dataLinkPath()});
            ASSERT_TRUE(run.waitForStarted());
            // The program's connection arriving is the event: from then on it waits for the peer.
            pollfd p{listener, POLLIN, 0};
            ASSERT_EQ(::poll(&p, 1, 60000), 1) << run.readAllStandardError().toStdString();
            const int connection = ::accept(listener, nullptr, nullptr);
            ::kill(static_cast<pid_t>(run.processId()), signal);
            // Well before the peer's 30-second time-out, which would end the wait by itself.
            const bool ended = run.waitForFinished(15000);
            if (!ended) {
                run.kill();
                run.waitForFinished();
            }
            ::close(connection);
            ::close(listener);
            const QByteArray err = run.readAllStandardError();
            ASSERT_TRUE(ended) << "still waiting for the peer after the signal: " << err.toStdString();
            EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(run.exitCode(), 128 + signal) << err.toStdString();
            EXPECT_EQ(host.count(QStringLiteral("Velocast")), 1);
            EXPECT_EQ(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 0)
                << err.toStdString();
        }
    }
}

// A DNS server that never answers holds the system's name look-up for its whole time-out (here
// a minute). The program runs in namespaces of its own (unshare) whose resolv.conf names a
// server on the namespace's loopback that takes the queries and answers none.
TEST(Headless, ASignalDuringANameLookUpEndsTheRunAtOnceWithItsStatus) {
    if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("-rmn"), QStringLiteral("true")}) != 0)
        GTEST_SKIP() << "unshare -rmn is not allowed here: no private resolv.conf for a silent DNS server";
    HostDatabase host;
    host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
    host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QStringLiteral("ana@example.com")},
                                             {QStringLiteral("Assunto"), QStringLiteral("Oi")}});
    host.exec(QStringLiteral(
        "UPDATE Qzcvar2 SET STMP_PROVEDOR = 'smtp.velocast-test.example*587', IdSMTP_UseTLS = 'utNoTLSSupport'"));
    const QString resolvConf = host.folder() + QStringLiteral("/resolv.conf");
    QFile conf(resolvConf);
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("nameserver 127.0.0.1\noptions timeout:30 attempts:2\n");
    conf.close();
    // Inside the namespaces: loopback up, the silent server bound on port 53 (its socket handed
    // on to the program, which never reads it), resolv.conf replaced, then the program.
    const QString silentDns = QStringLiteral(R"(
import fcntl, os, socket, struct, subprocess, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
flags = struct.unpack('16sH22x', fcntl.ioctl(s, 0x8913, struct.pack('16sH22x', b'lo', 0)))[1]
fcntl.ioctl(s, 0x8914, struct.pack('16sH22x', b'lo', flags | 1))
if subprocess.run(['mount', '--bind', sys.argv[1], '/etc/resolv.conf']).returncode != 0:
    sys.exit(77)
dns = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
dns.bind(('127.0.0.1', 53))
dns.set_inheritable(True)
os.execv(sys.argv[2], sys.argv[2:])
)");
    QProcess run;
    run.setReadChannel(QProcess::StandardError);
    run.start(QStringLiteral("unshare"),
              {QStringLiteral("-rmn"), QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"), silentDns, resolvConf,
               velocast::testing::builtProgramPath(QStringLiteral("velocast")), QStringLiteral("--headless"),
               QStringLiteral("--once"), QStringLiteral("--data-link"), host.dataLinkPath()});
    ASSERT_TRUE(run.waitForStarted());
    // The drain has begun (its figures line) and looks the server's name up next.
    QByteArray err;
    while (!err.contains("pending=1") && run.waitForReadyRead(30000)) err += run.readAllStandardError();
    if (run.state() == QProcess::NotRunning && run.exitCode() == 77) GTEST_SKIP() << "no bind mount in the namespace";
    ASSERT_TRUE(err.contains("pending=1")) << err.toStdString();
    ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
    const bool ended = run.waitForFinished(15000);
    if (!ended) {
        run.kill();
        run.waitForFinished();
    }
    err += run.readAllStandardError();
    ASSERT_TRUE(ended) << "still looking the name up after the signal: " << err.toStdString();
    EXPECT_EQ(run.exitCode(), 128 + SIGTERM) << err.toStdString();
    EXPECT_EQ(host.count(QStringLiteral("Velocast")), 1);
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
