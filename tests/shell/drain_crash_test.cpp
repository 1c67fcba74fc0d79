// A drain killed at any moment loses no message and repeats at most one: each row is deleted in
// its own transaction, committed before the next message begins, whether every message has an
// SMTP session of its own or one session carries many (RSET between them).
// The program runs as its own process and is killed (SIGKILL) by a peer that serves its SMTP
// sessions, at a chosen point of a chosen message; a second start then finishes the outbox.
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "settings/settings.h"
#include "support/host_database.h"

using velocast::testing::HostDatabase;

namespace {

enum class CrashPoint {
    BeforeDataReply,  // the peer holds the message; the program never hears it was accepted
    AtQuit,           // accepted and acknowledged; the row's delete not yet done
    AtNextSession,    // the row before is finished; the next session has begun
    AtNextMail,       // the next message's MAIL FROM on the same session: the row before is gone
    Never,
};

// Serves one SMTP session at a time on 127.0.0.1 for the program, on the test's thread.
class CrashPeer {
public:
    CrashPeer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(listener_, 8) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            ADD_FAILURE() << "cannot listen on loopback";
        port_ = ntohs(address.sin_port);
    }
    ~CrashPeer() { ::close(listener_); }

    quint16 port() const { return port_; }
    // Recipients of every message whose data the peer received in full, in order.
    const QStringList& received() const { return received_; }

    // Serves `program` until it ends; kills it at `point` of message number `message` (from 1).
    void serve(QProcess& program, CrashPoint point, int message) {
        int sessions = 0;
        while (program.state() != QProcess::NotRunning) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) {
                program.waitForFinished(0);
                continue;
            }
            const int client = ::accept(listener_, nullptr, nullptr);
            ++sessions;
            ++sessionsServed_;
            if (point == CrashPoint::AtNextSession && sessions == message + 1) {
                crash(program);
                ::close(client);
                return;
            }
            const bool crashed = session(client, program, point, message);
            ::close(client);
            if (crashed) return;
        }
    }

private:
    static void crash(QProcess& program) {
        program.kill();
        program.waitForFinished();
    }

    // A line without its CR LF; nothing when the program hung up (or, as a safeguard, went
    // silent for half a minute).
    std::optional<QByteArray> readLine(int client) {
        for (;;) {
            const qsizetype end = buffer_.indexOf("\r\n");
            if (end >= 0) {
                QByteArray line = buffer_.left(end);
                buffer_.remove(0, end + 2);
                return line;
            }
            pollfd p{client, POLLIN, 0};
            char chunk[4096];
            if (::poll(&p, 1, 30000) <= 0) return std::nullopt;
            const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, n);
        }
    }

    static void say(int client, const char* reply) { (void)::send(client, reply, std::strlen(reply), MSG_NOSIGNAL); }

    // True when it killed the program. `message` counts the messages received, over sessions.
    bool session(int client, QProcess& program, CrashPoint here, int message) {
        buffer_.clear();
        QString recipient;
        say(client, "220 crash-peer\r\n");
        for (;;) {
            const std::optional<QByteArray> line = readLine(client);
            if (!line) return false;
            const QByteArray verb = line->left(4).toUpper();
            if (verb == "RCPT") {
                recipient = QString::fromLatin1(*line).section(QLatin1Char('<'), 1).section(QLatin1Char('>'), 0, 0);
                say(client, "250 ok\r\n");
            } else if (verb == "DATA") {
                say(client, "354 go on\r\n");
                for (std::optional<QByteArray> data = readLine(client); !data || *data != "."; data = readLine(client))
                    if (!data) return false;
                received_ << recipient;
                if (here == CrashPoint::BeforeDataReply && received_.size() == message) {
                    crash(program);
                    return true;
                }
                say(client, "250 accepted\r\n");
            } else if (verb == "MAIL" && here == CrashPoint::AtNextMail && received_.size() == message) {
                rowsAtCrash_ = rowsLeft_ ? rowsLeft_() : -1;
                crash(program);
                return true;
            } else if (verb == "QUIT") {
                if (here == CrashPoint::AtQuit && received_.size() == message) {
                    crash(program);
                    return true;
                }
                say(client, "221 bye\r\n");
                return false;
            } else {
                say(client, "250 ok\r\n");
            }
        }
    }

    int listener_ = -1;
    quint16 port_ = 0;
    QByteArray buffer_;
    QStringList received_;

public:
    // Reads the outbox's row count, for what the database held at the crash.
    std::function<int()> rowsLeft_;
    int rowsAtCrash_ = -1;
    int sessionsServed_ = 0;
};

// [sending] messages_per_connection for the program's run, in velocast.conf beside the data link.
void messagesPerConnection(const HostDatabase& host, int n) {
    QFile conf(velocast::LocalSettings::defaultPath(host.dataLinkPath()));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write(QStringLiteral("[sending]\nmessages_per_connection = %1\n").arg(n).toUtf8());
}

void startProgram(QProcess& program, const HostDatabase& host) {
    const QString dir = qEnvironmentVariable("VELOCAST_BUILD_DIR", QStringLiteral(VELOCAST_DEFAULT_BUILD_DIR));
    program.start(dir + QStringLiteral("/velocast"), {QStringLiteral("--headless"), QStringLiteral("--once"),
                                                      QStringLiteral("--data-link"), host.dataLinkPath()});
    ASSERT_TRUE(program.waitForStarted());
}

}  // namespace

TEST(DrainCrash, AKilledDrainLosesNothingAndRepeatsAtMostTheMessageInFlight) {
    struct Case {
        CrashPoint point;
        int message;
        int duplicates;
        int messagesPerConnection;
    };
    const Case cases[] = {
        {CrashPoint::BeforeDataReply, 3, 1, 1},
        {CrashPoint::AtQuit, 3, 1, 1},
        {CrashPoint::AtNextSession, 3, 0, 1},
        {CrashPoint::AtQuit, 5, 1, 1},  // the last row
        // One session for every message: the crash may come between two of them.
        {CrashPoint::BeforeDataReply, 3, 1, 50},
        {CrashPoint::AtNextMail, 3, 0, 50},
        {CrashPoint::AtQuit, 5, 0, 50},  // the session ends after the last row is gone
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "crash point " << static_cast<int>(c.point) << " of message " << c.message
                                        << ", " << c.messagesPerConnection << " per connection");
        HostDatabase host;
        CrashPeer peer;
        host.exec(
            QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*%1', USERNAME = NULL").arg(peer.port()));
        messagesPerConnection(host, c.messagesPerConnection);
        peer.rowsLeft_ = [&host] { return host.count(QStringLiteral("Velocast")); };
        QStringList addresses;
        for (int i = 1; i <= 5; ++i) {
            addresses << QStringLiteral("membro%1@example.com").arg(i);
            host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), addresses.last()},
                                                     {QStringLiteral("Assunto"), QStringLiteral("Olá")},
                                                     {QStringLiteral("Texto"), QStringLiteral("Bom treino!")}});
        }

        QProcess first;
        startProgram(first, host);
        peer.serve(first, c.point, c.message);
        ASSERT_EQ(first.exitStatus(), QProcess::CrashExit) << "the program was not killed";
        // Before the next message's MAIL FROM, the rows of the messages accepted are gone.
        // Connection reuse is in force: the messages up to the crash went in one session.
        if (c.messagesPerConnection > 1) {
            EXPECT_EQ(peer.sessionsServed_, 1);
        }
        if (c.point == CrashPoint::AtNextMail) {
            EXPECT_EQ(peer.rowsAtCrash_, 5 - c.message);
        }
        // Nothing lost by the crash: every message is either out or still in the outbox.
        const QStringList waiting = host.strings(QStringLiteral("SELECT Email FROM Velocast ORDER BY ID"));
        for (const QString& address : addresses)
            EXPECT_TRUE(peer.received().contains(address) || waiting.contains(address)) << address.toStdString();

        QProcess second;
        startProgram(second, host);
        peer.serve(second, CrashPoint::Never, 0);
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
        EXPECT_EQ(host.count(QStringLiteral("Velocast")), 0);
        for (const QString& address : addresses) EXPECT_GE(peer.received().count(address), 1) << address.toStdString();
        EXPECT_EQ(peer.received().size(), addresses.size() + c.duplicates) << peer.received().join(u' ').toStdString();
        // What was proven holds for the commit policy the program sets: the write-ahead log.
        EXPECT_EQ(host.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    }
}

TEST(DrainCrash, ABurstOfKillsAndRestartsLeavesNoRunTableAndTheNextRunDrainsEverything) {
    // Killed one after the other within a few seconds, each run leaves its run table behind,
    // several of them under the same second's name.
    HostDatabase host;
    CrashPeer peer;
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*%1', USERNAME = NULL").arg(peer.port()));
    constexpr int kRows = 40, kKills = 12;
    messagesPerConnection(host, 1);  // a session per message: the kill points come at once
    QStringList addresses;
    for (int i = 1; i <= kRows; ++i) {
        addresses << QStringLiteral("membro%1@example.com").arg(i);
        host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), addresses.last()},
                                                 {QStringLiteral("Assunto"), QStringLiteral("Olá")},
                                                 {QStringLiteral("Texto"), QStringLiteral("Bom treino!")}});
    }
    for (int kill = 0; kill < kKills; ++kill) {
        QProcess run;
        startProgram(run, host);
        // Alternately at the first message's end and while the next session begins.
        // (The peer counts messages over all runs, sessions over this one.)
        if (kill % 2) peer.serve(run, CrashPoint::AtNextSession, 1);
        else peer.serve(run, CrashPoint::AtQuit, static_cast<int>(peer.received().size()) + 1);
        ASSERT_EQ(run.exitStatus(), QProcess::CrashExit)
            << "run " << kill << " was not killed: " << run.readAllStandardError().toStdString();
        EXPECT_EQ(run.readAllStandardError().count("Abertura de tabela"), 0) << "run " << kill;
    }
    EXPECT_GE(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 1);

    QProcess last;
    startProgram(last, host);
    peer.serve(last, CrashPoint::Never, 0);
    const QString err = QString::fromUtf8(last.readAllStandardError());
    EXPECT_EQ(last.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(last.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.contains(QRegularExpression(
        QStringLiteral("velocast: \\d+ run table\\(s\\) left by runs that did not end were removed"))))
        << err.toStdString();
    EXPECT_EQ(host.count(QStringLiteral("Velocast")), 0);
    EXPECT_EQ(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 0);
    // Nothing lost, and no kill repeated more than the one message it interrupted.
    for (const QString& address : addresses) EXPECT_GE(peer.received().count(address), 1) << address.toStdString();
    EXPECT_LE(peer.received().size(), kRows + kKills);
}
