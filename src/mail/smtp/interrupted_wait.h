#pragma once
// What the mail sessions' waits do with an end request (see platform/wait_interruption.h):
// the socket waits watch the request's descriptor themselves; a call that cannot watch it
// asks between glances.
namespace velocast::mail {

// A wait saw the end request: the program ends, or else the wait fails with "Interrupted".
[[noreturn]] void waitInterrupted();
// Whether an end request waits now (the descriptor readable), without waiting; false when
// waits are not interrupted. For a wait that cannot watch the descriptor itself.
bool endRequestWaiting();

}  // namespace velocast::mail
