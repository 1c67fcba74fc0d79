#include "support/loopback_socket.h"

#include <stdexcept>
#include <string>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace velocast::mail::testing {

namespace {

SOCKET handleOf(int socket) { return static_cast<SOCKET>(static_cast<unsigned int>(socket)); }

void startWinsock() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) throw std::runtime_error("Windows Sockets 2.2 could not be started");
}

}  // namespace

int listenOnLoopback(int backlog, uint16_t& port, const char* who) {
    startWinsock();
    const SOCKET fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (fd == INVALID_SOCKET || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(fd, backlog) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd != INVALID_SOCKET) ::closesocket(fd);
        throw std::runtime_error(std::string(who) + ": cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return static_cast<int>(fd);
}

int acceptClient(int listener) {
    const SOCKET client = ::accept(handleOf(listener), nullptr, nullptr);
    return client == INVALID_SOCKET ? -1 : static_cast<int>(client);
}

bool readableWithin(int socket, int ms) {
    WSAPOLLFD p{handleOf(socket), POLLRDNORM, 0};
    return WSAPoll(&p, 1, ms) > 0;
}

long long receiveSome(int socket, char* buffer, size_t size) {
    return ::recv(handleOf(socket), buffer, static_cast<int>(size), 0);
}

void sendBytes(int socket, const char* bytes, size_t size) {
    (void)::send(handleOf(socket), bytes, static_cast<int>(size), 0);
}

void closeSocket(int socket) { ::closesocket(handleOf(socket)); }

}  // namespace velocast::mail::testing
