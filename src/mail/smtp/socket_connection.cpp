#include "mail/smtp/socket_connection.h"

#include "mail/smtp/interrupted_wait.h"

#include "mail/smtp/interruptible_call.h"
#include "mail/smtp/smtp_error.h"
#include "platform/wait_interruption.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velocast::mail {

QString localHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return QStringLiteral("localhost");
    return QString::fromLocal8Bit(name);
}

namespace {

// Waits for one poll event; false on time-out. EINTR restarts with the time that is left.
// An end request (the interruption descriptor readable) ends the wait at once.
bool waitFor(int fd, short events, Deadline deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p[2] = {{fd, events, 0}, {waitInterruptionDescriptor(), POLLIN, 0}};
        const nfds_t watched = p[1].fd >= 0 ? 2 : 1;
        const int n = ::poll(p, watched, static_cast<int>(std::min<long long>(left.count(), 1 << 30)));
        if (n > 0 && watched == 2 && p[1].revents != 0) waitInterrupted();
        if (n > 0) return true;  // readable, writable, hung up or in error: the next call tells which
        if (n < 0 && errno != EINTR) throwErrno(errno);
    }
}

struct LookedUp {
    int rc = 0;
    int savedErrno = 0;
    sockaddr_in address{};
};

// How long a name's address is used again without asking the system: a session per message
// would otherwise start a thread and ask the resolver for every message.
constexpr auto kLookUpKept = std::chrono::seconds(60);

struct KeptLookUp {
    std::mutex mutex;
    QByteArray name;
    sockaddr_in address{};
    std::chrono::steady_clock::time_point until;
};

KeptLookUp& keptLookUp() {
    static KeptLookUp kept;
    return kept;
}

// The first IPv4 address of `name`, on a thread of its own: a DNS server that does not answer
// holds getaddrinfo for its whole time-out, which an end request must not sit out. An address
// written as one needs no look-up, and a name found a moment ago is not looked up again.
LookedUp lookUp(const QByteArray& name) {
    LookedUp numeric;
    numeric.address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, name.constData(), &numeric.address.sin_addr) == 1) return numeric;
    KeptLookUp& kept = keptLookUp();
    {
        const std::lock_guard<std::mutex> lock(kept.mutex);
        if (kept.name == name && std::chrono::steady_clock::now() < kept.until) return {0, 0, kept.address};
    }
    LookedUp result = callInterruptibly<LookedUp>([name] {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        LookedUp result;
        result.rc = ::getaddrinfo(name.constData(), nullptr, &hints, &found);
        result.savedErrno = errno;
        if (result.rc == 0) {
            result.address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
            ::freeaddrinfo(found);
        }
        return result;
    });
    if (result.rc == 0) {
        const std::lock_guard<std::mutex> lock(kept.mutex);
        kept.name = name;
        kept.address = result.address;
        kept.until = std::chrono::steady_clock::now() + kLookUpKept;
    }
    return result;
}

// Raises the system's error for a failed transfer.
qint64 raised(qint64 n) {
    if (n == SocketConnection::kFailed) throwErrno(errno);
    return n;
}

}  // namespace

SocketConnection::~SocketConnection() { close(); }

void SocketConnection::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void SocketConnection::open(const QString& host, quint16 port, int connectTimeoutMs) {
    close();
    const LookedUp found = lookUp(host.toUtf8());
    if (const int rc = found.rc; rc != 0) {
        if (rc == EAI_SYSTEM) throwErrno(found.savedErrno);
        if (rc == EAI_NONAME) {
            // The name does not exist: no later attempt will find it, the setting must change.
            SmtpError error(
                QStringLiteral("Socket Error # %1\r\n%2").arg(rc).arg(QString::fromLocal8Bit(::gai_strerror(rc))));
            error.setSettingAtFault(SmtpSetting::Server);
            throw error;
        }
        throwSocketError(rc, QString::fromLocal8Bit(::gai_strerror(rc)));
    }
    sockaddr_in address = found.address;
    address.sin_port = htons(port);

    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throwErrno(errno);
    // Commands go one at a time and each waits for its reply: nothing to gain from Nagle.
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return;
    int error = errno;
    if (error == EINPROGRESS) {
        if (!waitWritable(deadlineAfter(connectTimeoutMs))) {
            close();
            throwErrno(ETIMEDOUT);
        }
        socklen_t length = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        if (error == 0) return;
    }
    close();
    throwErrno(error);
}

bool endRequestWaiting() {
    const int descriptor = waitInterruptionDescriptor();
    if (descriptor < 0) return false;
    pollfd p{descriptor, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && p.revents != 0;
}

bool SocketConnection::waitReadable(Deadline deadline) const { return waitFor(fd_, POLLIN, deadline); }

bool SocketConnection::waitWritable(Deadline deadline) const { return waitFor(fd_, POLLOUT, deadline); }

qint64 SocketConnection::receiveOn(int descriptor, char* buffer, qint64 size) {
    for (;;) {
        const ssize_t n = ::recv(descriptor, buffer, static_cast<size_t>(size), 0);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : kFailed;
    }
}

qint64 SocketConnection::transmitOn(int descriptor, const char* data, qint64 size) {
    for (;;) {
        // MSG_NOSIGNAL: a peer that has gone away must give an error, not kill the process
        // with SIGPIPE.
        const ssize_t n = ::send(descriptor, data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : kFailed;
    }
}

bool isIpv4Literal(const QByteArray& host) {
    in_addr literal{};
    return inet_pton(AF_INET, host.constData(), &literal) == 1;
}

qint64 SocketConnection::receive(char* buffer, qint64 size) { return raised(receiveOn(fd_, buffer, size)); }

qint64 SocketConnection::transmit(const char* data, qint64 size) { return raised(transmitOn(fd_, data, size)); }

}  // namespace velocast::mail
