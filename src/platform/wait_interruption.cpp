#include "mail/smtp/wait_interruption.h"

#include "mail/smtp/smtp_error.h"

namespace velocast::mail {

namespace {
int interruptDescriptor = -1;
std::function<void()>& interruptHandler() {
    static std::function<void()> handler;
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
