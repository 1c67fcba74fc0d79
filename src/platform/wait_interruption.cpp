#include "mail/smtp/wait_interruption.h"

#include "mail/smtp/smtp_error.h"

namespace velocast::mail {

namespace {
// Per thread: the desktop's thread and the thread that does the run's network work are asked
// to end in different ways.
thread_local int interruptDescriptor = -1;
std::function<void()>& interruptHandler() {
    thread_local std::function<void()> handler;
    return handler;
}
}  // namespace

void interruptWaitsWhenReadable(int descriptor, std::function<void()> interrupted) {
    interruptDescriptor = descriptor;
    interruptHandler() = std::move(interrupted);
}

int waitInterruptionDescriptor() { return interruptDescriptor; }

void waitInterrupted() {
    if (interruptHandler()) interruptHandler()();
    throw SmtpError(QStringLiteral("Interrupted: the program was asked to end"));
}

}  // namespace velocast::mail
