#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include "data/notices.h"
#include "shell/window_mode.h"
#include "support/host_database.h"

using namespace velocast;

namespace {

// Serves events until `done` holds or 20 s have passed.
bool serveUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer poll, limit;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] { if (done()) loop.quit(); });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(10);
    limit.start(20000);
    if (!done()) loop.exec();
    return done();
}

}  // namespace

TEST(WindowMode, TheWindowHidesOnceByItselfAndFinalizarEndsTheLoopWithTheTeardown) {
    velocast::testing::HostDatabase host;
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1'"));
    RecordingNotices notices;
    WindowMode run(host.dataLinkPath(), notices);
    run.window.trayAvailable = [] { return true; };

    run.start();
    EXPECT_TRUE(run.tray.isShown()) << "the daily run adds the icon";
    EXPECT_TRUE(run.window.isVisible());
    ASSERT_TRUE(serveUntil([&] { return !run.window.isVisible(); })) << "the hide timer did not hide the window";
    EXPECT_FALSE(run.program.Timer1.isActive()) << "the hide timer fires once";

    run.window.pmnuiOpenClick();
    EXPECT_TRUE(run.window.isVisible());
    EXPECT_EQ(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 1);

    QTimer::singleShot(0, run.window.pmnuiExit, &QAction::trigger);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    run.finish();
    EXPECT_FALSE(run.tray.isShown());
    EXPECT_EQ(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 0);
    EXPECT_TRUE(notices.shown.empty()) << notices.shown.front().text.toStdString();
}
