#pragma once
// Windows wants its sockets started once per process before the first socket call; POSIX
// systems need nothing. Every part that makes a socket calls this first.
namespace velocast {

// True when sockets can be used; started once, and up until the process ends.
bool startSockets();

}  // namespace velocast
