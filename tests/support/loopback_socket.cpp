#include "support/loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace velocast::mail::testing {

int listenOnLoopback(int backlog, uint16_t& port, const char* who) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error(std::string(who) + ": cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

int acceptClient(int listener) { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }

bool readableWithin(int socket, int ms) {
    pollfd p{socket, POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

long long receiveSome(int socket, char* buffer, size_t size) { return ::recv(socket, buffer, size, 0); }

void sendBytes(int socket, const char* bytes, size_t size) { (void)::send(socket, bytes, size, MSG_NOSIGNAL); }

void closeSocket(int socket) { ::close(socket); }

}  // namespace velocast::mail::testing
