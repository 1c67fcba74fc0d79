#include "platform/termination_signals.h"

#include <QPointer>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

#include "platform/wait_interruption.h"

namespace velocast {

namespace {
int signalPipe[2] = {-1, -1};

// The ends registered so far; the latest whose owner still lives is the one that runs.
struct End {
    QPointer<QObject> owner;
    std::function<void(int)> run;
};
std::vector<End>& ends() {
    static std::vector<End> list;
    return list;
}

extern "C" void onTerminationSignal(int signal) {
    // The signal's number travels through the pipe: an interrupted run ends with 128 + it.
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// A wait for the SMTP server saw the pipe readable: the run ends from inside the wait rather
// than after it, which may be minutes away. Without an end to run the byte stays for the
// event loop, and the wait fails.
void endFromWait() {
    auto& list = ends();
    while (!list.empty() && !list.back().owner) list.pop_back();
    if (list.empty()) return;
    char byte;
    if (::read(signalPipe[0], &byte, 1) != 1) return;
    list.back().run(static_cast<unsigned char>(byte));
}
}  // namespace

void catchTerminationSignals() {
    if (signalPipe[0] >= 0) return;
    if (::pipe(signalPipe) != 0) return;
    for (int fd : signalPipe) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
    interruptWaitsWhenReadable(signalPipe[0], &endFromWait);
}

void onTerminationSignals(QObject* owner, std::function<void(int signal)> end) {
    catchTerminationSignals();
    if (signalPipe[0] < 0) return;
    ends().push_back({owner, end});
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [notifier, end = std::move(end)] {
        char byte;
        [[maybe_unused]] const auto got = ::read(signalPipe[0], &byte, 1);
        // A second signal while the first is being handled changes nothing.
        notifier->setEnabled(false);
        end(static_cast<unsigned char>(byte));
    });
}

}  // namespace velocast
