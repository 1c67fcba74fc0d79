#include "shell/termination_signals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace velocast {

namespace {
int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int signal) {
    // The signal's number travels through the pipe: an interrupted run ends with 128 + it.
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
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
}

void onTerminationSignals(QObject* owner, std::function<void(int signal)> end) {
    catchTerminationSignals();
    if (signalPipe[0] < 0) return;
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
