#pragma once
// One IPv4 TCP connection on a system socket (POSIX, or Winsock 2 on Windows). The socket is non-blocking so that connecting
// and every wait for data can be bounded: a server that stops answering must never freeze
// the program, which runs everything on its one thread.
#include <QByteArray>
#include <QString>
#include <chrono>

namespace velocast::mail {

using Deadline = std::chrono::steady_clock::time_point;

Deadline deadlineAfter(int milliseconds);

// The name this machine gives itself in EHLO/HELO ("localhost" when it has none).
QString localHostName();

class SocketConnection {
public:
    SocketConnection() = default;
    ~SocketConnection();
    SocketConnection(const SocketConnection&) = delete;
    SocketConnection& operator=(const SocketConnection&) = delete;

    // Resolves host to its first IPv4 address (a dotted address is used as it is) and
    // connects within connectTimeoutMs. Failures raise SmtpError "Socket Error # %d\r\n%s".
    void open(const QString& host, quint16 port, int connectTimeoutMs);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }

    // Waits until the socket can be read (or written); false when the deadline passed first.
    bool waitReadable(Deadline deadline) const;
    bool waitWritable(Deadline deadline) const;

    // Non-blocking transfer: bytes moved, 0 on orderly close (receive only), kWouldBlock
    // when the call would block (receive then waits to read, transmit to write: a plain
    // socket never needs the other direction). Other failures raise the socket error.
    static constexpr qint64 kWouldBlock = -1;
    qint64 receive(char* buffer, qint64 size);
    qint64 transmit(const char* data, qint64 size);

    // The same transfers for a layer that drives the socket itself (TLS), without raising:
    // kFailed with errno set (the system's code on Windows, as errno) when the call failed.
    static constexpr qint64 kFailed = -2;
    static qint64 receiveOn(int descriptor, char* buffer, qint64 size);
    static qint64 transmitOn(int descriptor, const char* data, qint64 size);

private:
    int fd_ = -1;
};

// Whether `host` is a dotted IPv4 address rather than a name.
bool isIpv4Literal(const QByteArray& host);

[[noreturn]] void throwSocketError(int code, const QString& text);
[[noreturn]] void throwErrno(int savedErrno);

}  // namespace velocast::mail
