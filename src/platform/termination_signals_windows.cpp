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
SOCKET wakeReader = INVALID_SOCKET;
SOCKET wakeWriter = INVALID_SOCKET;

SOCKET newSocket() {
    // Not inherited: a program started from here must not hold the pair open.
    return WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// The loopback pair: a listener on an ephemeral port that accepts one connection, its own.
// Another local program that connects first is refused by the address check.
void makeWakePair() {
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    const SOCKET listener = newSocket();
    if (listener == INVALID_SOCKET) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    const bool listening = bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                           listen(listener, 1) == 0 &&
                           getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    SOCKET writer = listening ? newSocket() : INVALID_SOCKET;
    SOCKET reader = INVALID_SOCKET;
    if (writer != INVALID_SOCKET && connect(writer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        sockaddr_in writerAddress{}, peerAddress{};
        int writerLength = sizeof writerAddress, peerLength = sizeof peerAddress;
        reader = accept(listener, reinterpret_cast<sockaddr*>(&peerAddress), &peerLength);
        if (reader != INVALID_SOCKET &&
            (getsockname(writer, reinterpret_cast<sockaddr*>(&writerAddress), &writerLength) != 0 ||
             !sameAddress(writerAddress, peerAddress))) {
            closesocket(reader);
            reader = INVALID_SOCKET;
        }
    }
    closesocket(listener);
    u_long nonBlocking = 1;
    if (reader == INVALID_SOCKET || ioctlsocket(writer, FIONBIO, &nonBlocking) != 0) {
        if (reader != INVALID_SOCKET) closesocket(reader);
        if (writer != INVALID_SOCKET) closesocket(writer);
        return;
    }
    wakeReader = reader;
    wakeWriter = writer;
}

// A wait for the SMTP server saw the pair readable: the run ends from inside the wait. With
// nobody yet to end it, the wait fails and the request waits for onTerminationSignals.
void endFromWait() {
    if (!receiver || !endProgram) return;
    char byte;
    recv(wakeReader, &byte, 1, 0);
    endProgram(pendingSignal.load());
}

void deliver(int signal) {
    int none = 0;
    // A second request while the first is being handled changes nothing.
    if (!pendingSignal.compare_exchange_strong(none, signal)) return;
    if (wakeWriter != INVALID_SOCKET) {
        const char byte = static_cast<char>(signal);
        send(wakeWriter, &byte, 1, 0);
    }
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
    makeWakePair();
    // Windows keeps socket handles within 32 bits, so the int the waits take is exact.
    if (wakeReader != INVALID_SOCKET) interruptWaitsWhenReadable(static_cast<int>(wakeReader), &endFromWait);
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
