#pragma once
// Every wait for the SMTP server is bounded, but the bounds are minutes long (a reply to the
// end of the data may take ten). An end request must not sit them out: the program gives the
// socket layer a descriptor that becomes readable when it is asked to end, and every wait
// watches it beside the socket.
#include <functional>

namespace velocast {

// From now on, a wait that sees `descriptor` readable calls `interrupted`, which is expected
// to end the process. If it returns, the wait fails as a failure to connect or to read would.
// A descriptor below 0 (the default) turns this off.
void interruptWaitsWhenReadable(int descriptor, std::function<void()> interrupted);

// The descriptor the waits watch, or -1.
int waitInterruptionDescriptor();
// Called by a wait that saw it readable: runs `interrupted`; the wait fails when it returns.
void runWaitInterruption();

}  // namespace velocast
