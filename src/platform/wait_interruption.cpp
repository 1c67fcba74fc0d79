#include "platform/wait_interruption.h"

namespace velocast {

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

void runWaitInterruption() {
    if (interruptHandler()) interruptHandler()();
}

}  // namespace velocast
