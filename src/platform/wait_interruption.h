#pragma once
// Every wait for the SMTP server is bounded, but the bounds are minutes long (a reply to the
// end of the data may take ten). An end request must not sit them out: the program gives the
// socket layer a descriptor that becomes readable when it is asked to end, and every wait
// watches it beside the socket.
#include <functional>

namespace velocast::mail {

// From now on, a wait on the calling thread that sees `descriptor` readable calls
// `interrupted`, which is expected not to return (it ends the process, or parks the thread). If it returns, the wait fails with "Interrupted", as a failure to
// connect or to read would. A descriptor below 0 (the default) turns this off.
void interruptWaitsWhenReadable(int descriptor, std::function<void()> interrupted);

// The descriptor the waits of the calling thread watch, or -1.
int waitInterruptionDescriptor();
// Called by a wait that saw it readable; throws SmtpError when `interrupted` returned.
[[noreturn]] void waitInterrupted();
// Whether an end request waits now (the descriptor readable), without waiting; false when
// waits are not interrupted. For a wait that cannot watch the descriptor itself.
bool endRequestWaiting();

}  // namespace velocast::mail
