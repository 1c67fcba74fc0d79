#include "platform/termination_signals.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QPointer>
#include <atomic>
#include <csignal>
#include <winsock2.h>
#include <windows.h>

#include "platform/wait_interruption.h"
#include "platform/wake_latch.h"

// Windows has no termination signals. A console program is told to end by its console
// (Ctrl+C, Ctrl+Break, the console closed, the user logging off, the system shutting down)
// through a handler that runs on a thread of its own; a program with windows is told by the
// session-end message. Each is given the number of the POSIX signal with the same meaning,
// so that an interrupted run ends with the same status on every system.
//
// A wait for the SMTP server sits in WSAPoll, which watches sockets only: the request also
// writes a byte to a loopback socket pair that every such wait watches, as the signal pipe
// does on POSIX systems, so that the wait ends at once rather than minutes later.

namespace velocast {

namespace {

// Windows' C runtime lacks SIGHUP; its number is the same on every POSIX system.
constexpr int kHangUp = 1;

std::atomic<int> pendingSignal{0};
bool catching = false;
QPointer<QObject> receiver;
std::function<void(int)> endProgram;
// Made at the first catch, never destroyed: a console handler may still use it at exit.
WakeLatch* wake = nullptr;

// A wait for the SMTP server saw the pair readable: the run ends from inside the wait. With
// nobody yet to end it, the wait fails and the request waits for onTerminationSignals.
void endFromWait() {
    if (!receiver || !endProgram) return;
    wake->clear();
    endProgram(pendingSignal.load());
}

void deliver(int signal) {
    int none = 0;
    // A second request while the first is being handled changes nothing.
    if (!pendingSignal.compare_exchange_strong(none, signal)) return;
    if (wake) wake->set();
    if (receiver) {
        QMetaObject::invokeMethod(
            receiver.data(), [] { endProgram(pendingSignal.load()); }, Qt::QueuedConnection);
    }
}

BOOL WINAPI onConsoleControl(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT: deliver(SIGINT); return TRUE;
    case CTRL_BREAK_EVENT: deliver(SIGTERM); return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // Windows ends the process as soon as this handler returns: the handler waits (a few
        // seconds at most, as Windows allows) while the program's thread runs the teardown
        // and ends the process itself.
        deliver(type == CTRL_CLOSE_EVENT ? kHangUp : SIGTERM);
        Sleep(4500);
        return TRUE;
    default: return FALSE;
    }
}

// The session-end message reaches every top-level window the program has, Qt's own
// hidden ones included.
class SessionEndFilter : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override {
        if (eventType != "windows_generic_MSG") return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_ENDSESSION && msg->wParam) {
            deliver(SIGTERM);
            *result = 0;
            return true;
        }
        return false;
    }
};

}  // namespace

void catchTerminationSignals() {
    if (catching) return;
    catching = true;
    wake = new WakeLatch;
    if (wake->valid()) interruptWaitsWhenReadable(wake->descriptor(), &endFromWait);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

void onTerminationSignals(QObject* owner, std::function<void(int signal)> end) {
    catchTerminationSignals();
    receiver = owner;
    endProgram = std::move(end);
    static SessionEndFilter filter;
    if (QCoreApplication::instance()) QCoreApplication::instance()->installNativeEventFilter(&filter);
    // A request that came before anyone could take it is handled now.
    if (const int early = pendingSignal.load(); early != 0)
        QMetaObject::invokeMethod(
            owner, [early] { endProgram(early); }, Qt::QueuedConnection);
}

}  // namespace velocast
