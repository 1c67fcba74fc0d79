#include "mail/smtp/socket_connection.h"

#include "mail/smtp/interrupted_wait.h"

#include "mail/smtp/interruptible_call.h"
#include "mail/smtp/smtp_error.h"
#include "platform/socket_startup.h"
#include "platform/system_error_text.h"
#include "platform/wait_interruption.h"

#include <cerrno>
#include <cstring>
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

namespace velocast::mail {

namespace {

// Winsock must be started once before the first call; it stays up until the process ends.
void startWinsock() {
    if (!startSockets()) throwSocketError(WSASYSNOTREADY, QStringLiteral("Windows Sockets 2.2 could not be started"));
}

QString systemText(int code) { return systemErrorText(static_cast<unsigned long>(code)); }

// The Winsock handle as the rest of the program holds it. Windows keeps socket handles
// within 32 bits, so the int round trip is exact.
SOCKET handleOf(int descriptor) { return static_cast<SOCKET>(static_cast<unsigned int>(descriptor)); }

// Waits for one poll event; false on time-out. An end request (the interruption socket
// readable) ends the wait at once.
bool waitFor(int descriptor, short events, Deadline deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        const int interruption = waitInterruptionDescriptor();
        WSAPOLLFD p[2] = {{handleOf(descriptor), events, 0},
                          {interruption >= 0 ? handleOf(interruption) : INVALID_SOCKET, POLLRDNORM, 0}};
        const ULONG watched = interruption >= 0 ? 2 : 1;
        const int n = WSAPoll(p, watched, static_cast<INT>(std::min<long long>(left.count(), 1 << 30)));
        if (n > 0 && watched == 2 && p[1].revents != 0) waitInterrupted();
        if (n > 0) return true;  // readable, writable, hung up or in error: the next call tells which
        if (n == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            throwSocketError(error, systemText(error));
        }
    }
}

// Failed transfers leave errno set as well, for the TLS layer's messages.
qint64 failed() {
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return SocketConnection::kWouldBlock;
    errno = error == WSAECONNRESET ? ECONNRESET : error == WSAECONNABORTED ? ECONNABORTED : EIO;
    return SocketConnection::kFailed;
}

qint64 raised(qint64 n) {
    if (n == SocketConnection::kFailed) {
        const int error = WSAGetLastError();
        throwSocketError(error, systemText(error));
    }
    return n;
}

}  // namespace

QString localHostName() {
    startWinsock();
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return QStringLiteral("localhost");
    return QString::fromLocal8Bit(name);
}

SocketConnection::~SocketConnection() { close(); }

void SocketConnection::close() {
    if (fd_ >= 0) closesocket(handleOf(fd_));
    fd_ = -1;
}

void SocketConnection::open(const QString& host, quint16 port, int connectTimeoutMs) {
    close();
    startWinsock();
    // On a thread of its own: a DNS server that does not answer holds getaddrinfo for its
    // whole time-out, which an end request must not sit out.
    struct LookedUp {
        int rc = 0;
        sockaddr_in address{};
    };
    const LookedUp found = callInterruptibly<LookedUp>([name = host.toUtf8()] {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        LookedUp result;
        result.rc = getaddrinfo(name.constData(), nullptr, &hints, &list);
        if (result.rc == 0) {
            result.address = *reinterpret_cast<const sockaddr_in*>(list->ai_addr);
            freeaddrinfo(list);
        }
        return result;
    });
    if (found.rc != 0) throwSocketError(found.rc, systemText(found.rc));
    sockaddr_in address = found.address;
    address.sin_port = htons(port);

    // Not inherited by child processes, as the POSIX build's close-on-exec.
    const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
        const int error = WSAGetLastError();
        throwSocketError(error, systemText(error));
    }
    fd_ = static_cast<int>(s);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    // Commands go one at a time and each waits for its reply: nothing to gain from Nagle.
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return;
    int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
        if (!waitWritable(deadlineAfter(connectTimeoutMs))) {
            close();
            throwSocketError(WSAETIMEDOUT, systemText(WSAETIMEDOUT));
        }
        int length = sizeof error;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
            error = WSAGetLastError();
        if (error == 0) return;
    }
    close();
    throwSocketError(error, systemText(error));
}

bool endRequestWaiting() {
    const int interruption = waitInterruptionDescriptor();
    if (interruption < 0) return false;
    WSAPOLLFD p{handleOf(interruption), POLLRDNORM, 0};
    return WSAPoll(&p, 1, 0) > 0 && p.revents != 0;
}

bool SocketConnection::waitReadable(Deadline deadline) const { return waitFor(fd_, POLLRDNORM, deadline); }

bool SocketConnection::waitWritable(Deadline deadline) const { return waitFor(fd_, POLLWRNORM, deadline); }

qint64 SocketConnection::receiveOn(int descriptor, char* buffer, qint64 size) {
    const int n = recv(handleOf(descriptor), buffer, static_cast<int>(std::min<qint64>(size, 1 << 30)), 0);
    return n == SOCKET_ERROR ? failed() : n;
}

qint64 SocketConnection::transmitOn(int descriptor, const char* data, qint64 size) {
    // Windows has no SIGPIPE: a peer that has gone away is an error of the call.
    const int n = send(handleOf(descriptor), data, static_cast<int>(std::min<qint64>(size, 1 << 30)), 0);
    return n == SOCKET_ERROR ? failed() : n;
}

bool isIpv4Literal(const QByteArray& host) {
    in_addr literal{};
    return inet_pton(AF_INET, host.constData(), &literal) == 1;
}

qint64 SocketConnection::receive(char* buffer, qint64 size) { return raised(receiveOn(fd_, buffer, size)); }

qint64 SocketConnection::transmit(const char* data, qint64 size) { return raised(transmitOn(fd_, data, size)); }

}  // namespace velocast::mail
