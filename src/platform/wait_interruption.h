#pragma once
// How a program asked to end (a signal, the console closing, the desktop quitting) cuts short
// a network wait that would otherwise last until its timeout: the end request makes a
// descriptor readable, and every wait of the calling thread watches it beside the socket.
#include <functional>

namespace velocast {

// From now on, a wait on the calling thread that sees `descriptor` readable calls
// `interrupted`, which is expected not to return (it ends the process, or parks the thread).
// If it returns, the wait fails as a failure to connect or to read would. A descriptor below 0
// (the default) turns this off.
void interruptWaitsWhenReadable(int descriptor, std::function<void()> interrupted);

// The descriptor the waits of the calling thread watch, or -1.
int waitInterruptionDescriptor();
// Called by a wait that saw it readable: runs `interrupted`; the wait fails when it returns.
void runWaitInterruption();

}  // namespace velocast
