#include <QCoreApplication>
#include <QEventLoop>
#include <QSysInfo>
#include <QTimer>
#include <gtest/gtest.h>

#include "notices/notices.h"
#include "support/recording_notices.h"
#include "shell/window_mode.h"
#include "support/host_database.h"
#include "support/serve_until.h"
#include "support/test_clock.h"

using namespace velocast;
using velocast::testing::serveUntil;

namespace {

// A club on 20 May 2024 with the birthday campaign on, one member born that day, and an SMTP
// server nobody listens on.
void birthdayClub(velocast::testing::HostDatabase& host) {
    host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20 08:15:00")}});
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET MARKETING_ANIVERSARUANETE = 'Sim', STMP_PROVEDOR = '127.0.0.1*1'"));
    host.insert(QStringLiteral("AlunosAtivos"), {{QStringLiteral("MATRICULA"), QStringLiteral("1")},
                                                 {QStringLiteral("EMAIL"), QStringLiteral("ana@example.com")},
                                                 {QStringLiteral("RECEBER_EMAIL"), QStringLiteral("Sim")},
                                                 {QStringLiteral("DATA_NASCIMENTO"), QStringLiteral("1990-05-20")}});
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
    EXPECT_FALSE(run.program.hideTimerActive()) << "the hide timer fires once";
    EXPECT_TRUE(run.program.sending()) << "sending starts after the daily run";

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

// The first login before the data-link file exists: one report of the missing file, the icon
// to end the program with, and once the file is there the day's campaigns run by themselves.
TEST(WindowMode, ADatabaseThatAppearsLaterGetsItsDailyRun) {
    velocast::testing::HostDatabase host;
    birthdayClub(host);
    velocast::testing::TestClock clock(QDateTime(QDate(2024, 5, 20), QTime(9, 30)));
    const QString later = host.folder() + QStringLiteral("/later.udl");
    RecordingNotices notices;
    WindowMode run(later, notices);
    run.window.trayAvailable = [] { return true; };

    run.start();
    EXPECT_TRUE(run.tray.isShown()) << "the icon is there to end the program with";
    ASSERT_EQ(notices.shown.size(), 1u);
    EXPECT_TRUE(notices.shown.front().text.contains(QStringLiteral("later.udl")))
        << notices.shown.front().text.toStdString();

    velocast::testing::writeDataLink(later, QStringLiteral("Provider=SQLite;Data Source=club.sqlite"));
    EXPECT_TRUE(serveUntil([&] {
        return host.count(QStringLiteral("ControleEmail"), QStringLiteral("ANIVERSARIANTE = 1")) == 1;
    })) << "the daily run did not follow the reconnect; notices: "
        << [&] {
               QStringList all;
               for (const auto& n : notices.shown) all << n.text + QLatin1Char('|') + n.detail;
               return all.join(QLatin1Char('\n')).toStdString();
           }();
    EXPECT_EQ(host.count(QStringLiteral("Velocast"), QStringLiteral("Email = 'ana@example.com'")), 1);
    run.finish();
    EXPECT_EQ(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 0);
}

TEST(WindowMode, ACopyWithoutTheDatabaseStandsAsideSaysSoOnceAndTakesOverWhenItIsFree) {
    velocast::testing::HostDatabase host;
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1'"));
    auto runTables = [&] {
        return host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'"));
    };
    // Another copy (another user's desktop, the service) works on this database.
    SharedConnection otherConnection(host.dataLinkPath(), QStringLiteral("other-copy"));
    DatabaseLock other(otherConnection);
    ASSERT_TRUE(other.take());

    RecordingNotices notices;
    WindowMode run(host.dataLinkPath(), notices);
    run.window.trayAvailable = [] { return true; };
    run.start();
    const QString line = QStringLiteral("another Velocast is working on this database: ") +
                         QSysInfo::machineHostName() + QStringLiteral(", since ");
    ASSERT_EQ(notices.shown.size(), 1u);
    EXPECT_TRUE(notices.shown[0].text.startsWith(line)) << notices.shown[0].text.toStdString();
    EXPECT_TRUE(run.tray.isShown());
    EXPECT_TRUE(run.tray.toolTip().contains(line)) << run.tray.toolTip().toStdString();
    EXPECT_EQ(runTables(), 0) << "a copy that stands aside opened the session";

    // Send ticks ask again; still taken, nothing more is said.
    ASSERT_TRUE(run.program.sending());
    run.program.sender().Timer2Timer();
    EXPECT_EQ(notices.shown.size(), 1u);
    EXPECT_EQ(runTables(), 0);

    // The other copy ended: the next tick runs the day, then sends.
    other.release();
    run.program.sender().Timer2Timer();
    EXPECT_EQ(runTables(), 1);
    EXPECT_FALSE(run.tray.toolTip().contains(line)) << run.tray.toolTip().toStdString();
    EXPECT_TRUE(run.program.sending());
    EXPECT_EQ(notices.shown.size(), 1u);
    run.finish();
    EXPECT_EQ(runTables(), 0);
}

// A daily run that fails (the session does not open, or a campaign cannot write) still
// starts sending, and asks the program to end once the event loop runs.
TEST(WindowMode, AFailedDailyRunStillStartsSendingAndAsksToEnd) {
    velocast::testing::TestClock clock(QDateTime(QDate(2024, 5, 20), QTime(9, 30)));
    for (const char* fault :
         {"DROP TABLE AlunosAtivos",
          "CREATE TRIGGER refuse BEFORE INSERT ON ControleEmail BEGIN SELECT RAISE(ABORT, 'refused'); END"}) {
        SCOPED_TRACE(fault);
        velocast::testing::HostDatabase faulty;
        birthdayClub(faulty);
        faulty.exec(QLatin1String(fault));
        RecordingNotices notices;
        WindowMode run(faulty.dataLinkPath(), notices);
        run.window.trayAvailable = [] { return true; };
        run.start();
        EXPECT_FALSE(notices.shown.empty());
        EXPECT_TRUE(run.program.endRequested());
        EXPECT_TRUE(run.program.sending());
        EXPECT_EQ(run.program.sender().tickInterval(), std::chrono::seconds(5));
        run.finish();
        // The end request's queued exit ends a loop of the test's own. Run with no loop to
        // end, it would leave Qt's quit flag set, and every dialog of a later test would
        // close as soon as it opened.
        QTimer guard;
        guard.callOnTimeout([] { QCoreApplication::exit(1); });
        guard.start(20000);
        EXPECT_EQ(QCoreApplication::exec(), 0) << "the end request's exit never came";
    }
}
