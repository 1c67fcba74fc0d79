#include "platform/wait_interruption.h"

namespace velocast {

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

void runWaitInterruption() {
    if (interruptHandler()) interruptHandler()();
}

}  // namespace velocast
