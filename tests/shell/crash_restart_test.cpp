// The guarantee the outbox gives under the worst stop there is: the program killed (SIGKILL)
// in the middle of a drain, at several points, then started again. Every row must reach the
// server at least once, and a kill may cost at most one duplicate (the row whose message
// was accepted just before its delete was committed).
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <csignal>
#include <gtest/gtest.h>

#include "support/aiosmtpd_peer.h"
#include "support/host_database.h"
#include "support/velocast_process.h"

using velocast::mail::testing::AiosmtpdPeer;
using velocast::testing::HostDatabase;

TEST(CrashRestart, KilledDuringADrainAtSeveralPointsNoRowIsLostAndEachKillCostsAtMostOneDuplicate) {
    constexpr int kRows = 300;
    const int killAfter[] = {20, 110, 205};  // messages received in all, duplicates included

    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("u"), QStringLiteral("p"));
    HostDatabase host;
    host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*%1', IdSMTP_UseTLS = 'utNoTLSSupport', "
                             "EMAIL_PROVEDOR = 'clube@example.com'")
                  .arg(server.port()));
    host.exec(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                             "INSERT INTO Velocast (Email, Assunto, Texto) "
                             "SELECT 'm' || i || '@example.com', 'Oi', 'Texto ' || i FROM n")
                  .arg(kRows));
    ASSERT_EQ(host.count(QStringLiteral("Velocast")), kRows);

    const QString program = velocast::testing::builtProgramPath(QStringLiteral("velocast"));
    const QStringList arguments{QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"),
                                host.dataLinkPath()};
    QMap<QString, int> delivered;
    int received = 0;
    const auto receiveOne = [&](int waitMs) {
        const QJsonObject message = server.nextMessage(waitMs);
        if (message.isEmpty()) return false;
        ++delivered[message.value(QStringLiteral("to")).toArray().first().toString()];
        ++received;
        return true;
    };

    for (const int point : killAfter) {
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        run.start(program, arguments);
        ASSERT_TRUE(run.waitForStarted());
        while (received < point) ASSERT_TRUE(receiveOne(20000)) << "the drain stopped before " << point << " messages";
        ::kill(static_cast<pid_t>(run.processId()), SIGKILL);
        ASSERT_TRUE(run.waitForFinished());
        EXPECT_EQ(run.exitStatus(), QProcess::CrashExit);
    }

    // The last start drains what is left and ends normally; once it has ended, every message
    // it or the killed runs got accepted has been reported by the server.
    // The peer's messages are read while it runs: a peer whose report pipe is full stops
    // answering.
    QProcess last;
    last.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    last.start(program, arguments);
    ASSERT_TRUE(last.waitForStarted());
    const QDeadlineTimer deadline(120000);
    while (last.state() != QProcess::NotRunning && !deadline.hasExpired())
        if (!receiveOne(200)) last.waitForFinished(50);
    if (last.state() != QProcess::NotRunning) {
        last.kill();
        last.waitForFinished();
        ADD_FAILURE() << "the last run did not finish";
    }
    EXPECT_EQ(last.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(last.exitCode(), 0);
    while (delivered.size() < kRows && receiveOne(20000)) {}
    while (receiveOne(200)) {}

    EXPECT_EQ(host.count(QStringLiteral("Velocast")), 0);
    QStringList lost;
    int duplicates = 0;
    for (int i = 1; i <= kRows; ++i) {
        const int times = delivered.value(QStringLiteral("m%1@example.com").arg(i));
        if (times == 0) lost << QString::number(i);
        duplicates += std::max(0, times - 1);
    }
    EXPECT_TRUE(lost.isEmpty()) << "rows never delivered: " << lost.join(u' ').toStdString();
    EXPECT_LE(duplicates, static_cast<int>(std::size(killAfter)));
    EXPECT_EQ(delivered.size(), kRows);  // and nothing that was not in the outbox
}
