#include <QThread>
#include <atomic>
#include <QTimer>
#include <gtest/gtest.h>

#include "shell/window_mode.h"
#include "support/host_database.h"
#include "support/loopback_socket.h"
#include "support/recording_notices.h"
#include "support/serve_until.h"

using namespace velocast;
using velocast::testing::serveUntil;
namespace mt = velocast::mail::testing;

namespace {

int runTables(velocast::testing::HostDatabase& host) {
    return host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'"));
}

// One turn of this thread's event loop: what a repaint or the tray menu needs.
bool desktopAnswers() {
    bool served = false;
    QTimer::singleShot(0, [&served] { served = true; });
    return serveUntil([&served] { return served; });
}

}  // namespace

// A notice of the run (here: its data-link file is missing) is shown on the desktop's thread.
TEST(WindowModeThread, TheRunsNoticesAreShownOnTheDesktopsThread) {
    velocast::testing::HostDatabase host;
    RecordingNotices notices;
    Qt::HANDLE shownOn = nullptr;
    notices.whileOpen = [&shownOn](const RecordingNotices::Shown&) { shownOn = QThread::currentThreadId(); };
    WindowMode run(host.folder() + QStringLiteral("/missing.udl"), notices, Settings(),
                   ProgramThread::Where::OwnThread);
    run.window.trayAvailable = [] { return true; };
    run.start();
    ASSERT_TRUE(serveUntil([&] { return !notices.shown.empty(); }));
    EXPECT_EQ(shownOn, QThread::currentThreadId());
    EXPECT_TRUE(notices.shown.front().text.contains(QStringLiteral("missing.udl")))
        << notices.shown.front().text.toStdString();
    EXPECT_TRUE(run.finish());
}

// On a desktop the run waits for its servers on a thread of its own: while a mail server says
// nothing the desktop's thread goes on serving, and ending cuts the wait short, the row in
// hand rolled back (it stays in the outbox) and the teardown done.
TEST(WindowModeThread, ASilentServerKeepsOnlyTheRunWaitingAndEndingCutsTheWaitShort) {
    uint16_t port = 0;
    const int server = mt::listenOnLoopback(8, port, "silent server");  // accepts, never greets
    struct End {
        const char* name;
        bool silent;  // the drain sits in the wait for the greeting when the end comes
        bool (WindowMode::*finish)();
        bool endsOnItsThread;
    };
    // A run cut short in a wait stays parked until the process ends, holding the name of the
    // program's one database connection: that case comes last, and this test after the others.
    for (const End& end : {End{"Finalizar between drains", false, &WindowMode::finish, true},
                           End{"a termination signal between drains", false, &WindowMode::finishAtOnce, true},
                           End{"Finalizar in a wait", true, &WindowMode::finish, false}}) {
        SCOPED_TRACE(end.name);
        velocast::testing::HostDatabase host;
        host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*%1'").arg(end.silent ? port : 1));
        host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QStringLiteral("ana@example.com")},
                                                 {QStringLiteral("Assunto"), QStringLiteral("Oi")}});
        RecordingNotices notices;
        WindowMode run(host.dataLinkPath(), notices, Settings(), ProgramThread::Where::OwnThread);
        run.window.trayAvailable = [] { return true; };
        bool drained = false;
        run.onRun([&drained](Program& program) {
            program.setIntervals({.sendTick = std::chrono::milliseconds(10)});
            QObject::connect(&program.sender(), &OutboxSender::tickEnded, [&drained] { drained = true; });
        });
        run.start();
        EXPECT_TRUE(run.tray.isShown());
        if (end.silent) {
            ASSERT_TRUE(serveUntil([&] { return mt::readableWithin(server, 0); })) << "the drain never connected";
        } else {
            ASSERT_TRUE(serveUntil([&] { return drained; })) << "no drain ran";
            // Between drains for sure: a drain in its wait for the server when the end comes is
            // the third case. Work posted to the run's thread runs between two drains.
            std::atomic<bool> quiet{false};
            run.onRun([&quiet](Program& program) {
                program.sender().stopTick();
                quiet = true;
            });
            ASSERT_TRUE(serveUntil([&] { return quiet.load(); })) << "the run's thread did not answer";
        }
        EXPECT_TRUE(desktopAnswers());
        run.pmnuiHistoricoClick();  // reads the state file on this thread, not the run's
        EXPECT_TRUE(desktopAnswers());

        EXPECT_EQ((run.*end.finish)(), end.endsOnItsThread);
        EXPECT_FALSE(run.tray.isShown());
        EXPECT_EQ(host.count(QStringLiteral("Velocast")), 1) << "the row in hand was lost";
        EXPECT_EQ(runTables(host), 0) << "the teardown did not run";
        EXPECT_TRUE(notices.shown.empty()) << notices.shown.front().text.toStdString();
        if (end.silent) {
            const int client = mt::acceptClient(server);
            EXPECT_GE(client, 0);
            mt::closeSocket(client);
        }
    }
    mt::closeSocket(server);
}
