#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

#include "notices/notices.h"
#include "support/recording_notices.h"
#include "data/session.h"
#include "data/watchdog.h"
#include "shell/watchdog_tick.h"
#include "support/session_test.h"

using namespace velocast;

using WatchdogTickFixture = velocast::testing::SessionTest;

TEST_F(WatchdogTickFixture, AnOutageHoldsEveryTimerAndTheReconnectStartsThemAllAgain) {
    connection.open();
    ASSERT_TRUE(session.ABRE_TABELAS());
    QTimer timer1, timer2;
    Watchdog watchdog(session, notices);
    WatchdogTick tick(watchdog, [&](bool run) {
        for (QTimer* timer : {&timer1, &timer2}) run ? timer->start() : timer->stop();
    });
    EXPECT_EQ(tick.interval(), std::chrono::seconds(1));
    timer1.start(3000);
    tick.start();

    const QString hidden = host.path() + QStringLiteral(".away");
    host.exec(QStringLiteral("ALTER TABLE Qzcvar2 RENAME TO Qzcvar2Away"));
    ASSERT_TRUE(QFile::rename(host.path(), hidden));
    notices.whileOpen = [&](const RecordingNotices::Shown&) {
        EXPECT_FALSE(tick.isActive());
        EXPECT_FALSE(timer1.isActive());
        EXPECT_FALSE(timer2.isActive());
        if (notices.shown.size() == 3) {  // the watchdog's notice and two failed passes
            QFile::rename(hidden, host.path());
            host.exec(QStringLiteral("ALTER TABLE Qzcvar2Away RENAME TO Qzcvar2"));
        }
    };
    tick.Timer3Timer();
    ASSERT_EQ(notices.shown.size(), 3u);
    EXPECT_TRUE(tick.isActive());
    EXPECT_TRUE(timer1.isActive());
    EXPECT_TRUE(timer2.isActive());  // started even though it was not running before

    // A tick that arrives after the watchdog was stopped (the teardown) checks nothing.
    tick.stop();
    host.exec(QStringLiteral("ALTER TABLE Qzcvar2 RENAME TO Qzcvar2Away"));
    notices.whileOpen = nullptr;
    tick.Timer3Timer();
    EXPECT_EQ(notices.shown.size(), 3u);
    host.exec(QStringLiteral("ALTER TABLE Qzcvar2Away RENAME TO Qzcvar2"));
    session.teardown();
}

// The first connection to a database that was missing at the start follows no outage: the
// timers are left as they are.
TEST_F(WatchdogTickFixture, AFirstConnectionStartsNoTimer) {
    QTimer timer2;
    Watchdog watchdog(session, notices);
    WatchdogTick tick(watchdog, [&](bool run) { run ? timer2.start() : timer2.stop(); });
    tick.start();
    tick.Timer3Timer();
    EXPECT_TRUE(connection.isOpen());
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_TRUE(tick.isActive());
    EXPECT_FALSE(timer2.isActive());
}
