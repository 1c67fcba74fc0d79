#include "platform/wake_latch.h"

#include <winsock2.h>

#include "platform/socket_startup.h"

namespace velocast {

namespace {

SOCKET newSocket() {
    // Not inherited: a program started from here must not hold the pair open.
    return WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

}  // namespace

// The loopback pair: a listener on an ephemeral port that accepts one connection, its own.
// Another local program that connects first is refused by the address check.
WakeLatch::WakeLatch() {
    if (!startSockets()) return;
    const SOCKET listener = newSocket();
    if (listener == INVALID_SOCKET) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    const bool listening = bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                           listen(listener, 1) == 0 &&
                           getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    SOCKET writer = listening ? newSocket() : INVALID_SOCKET;
    SOCKET reader = INVALID_SOCKET;
    if (writer != INVALID_SOCKET && connect(writer, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        sockaddr_in writerAddress{}, peerAddress{};
        int writerLength = sizeof writerAddress, peerLength = sizeof peerAddress;
        reader = accept(listener, reinterpret_cast<sockaddr*>(&peerAddress), &peerLength);
        if (reader != INVALID_SOCKET &&
            (getsockname(writer, reinterpret_cast<sockaddr*>(&writerAddress), &writerLength) != 0 ||
             !sameAddress(writerAddress, peerAddress))) {
            closesocket(reader);
            reader = INVALID_SOCKET;
        }
    }
    closesocket(listener);
    u_long nonBlocking = 1;
    if (reader == INVALID_SOCKET || ioctlsocket(writer, FIONBIO, &nonBlocking) != 0 ||
        ioctlsocket(reader, FIONBIO, &nonBlocking) != 0) {
        if (reader != INVALID_SOCKET) closesocket(reader);
        if (writer != INVALID_SOCKET) closesocket(writer);
        return;
    }
    // Windows keeps socket handles within 32 bits, so the int the waits take is exact.
    reader_ = static_cast<int>(reader);
    writer_ = static_cast<int>(writer);
}

WakeLatch::~WakeLatch() {
    if (reader_ >= 0) closesocket(static_cast<SOCKET>(reader_));
    if (writer_ >= 0) closesocket(static_cast<SOCKET>(writer_));
}

void WakeLatch::set() {
    if (writer_ < 0) return;
    const char byte = 1;
    send(static_cast<SOCKET>(writer_), &byte, 1, 0);
}

void WakeLatch::clear() {
    if (reader_ < 0) return;
    char byte;
    recv(static_cast<SOCKET>(reader_), &byte, 1, 0);
}

}  // namespace velocast
