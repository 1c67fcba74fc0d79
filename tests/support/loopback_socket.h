#pragma once
// The few socket calls the test peers make, behind one seam: the peers then run unchanged in
// the Windows build, where sockets are Winsock's. A socket is an int on both systems (Windows
// keeps socket handles within 32 bits).
#include <cstddef>
#include <cstdint>

namespace velocast::mail::testing {

// A listening socket on 127.0.0.1 with an ephemeral port (written to `port`); throws
// std::runtime_error naming `who` when it cannot listen.
int listenOnLoopback(int backlog, uint16_t& port, const char* who);
// The next connection on `listener`, or -1.
int acceptClient(int listener);
// True when `socket` has bytes (or its end) to read within `ms` milliseconds.
bool readableWithin(int socket, int ms);
// Up to `size` bytes; 0 when the peer closed, below 0 on failure.
long long receiveSome(int socket, char* buffer, size_t size);
// Writes what it can; a peer that has gone is not an error here (no SIGPIPE either).
void sendBytes(int socket, const char* bytes, size_t size);
void closeSocket(int socket);

}  // namespace velocast::mail::testing
