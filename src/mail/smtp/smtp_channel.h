#pragma once
// The byte stream of one SMTP session: a TCP connection, plain or under TLS, read as lines
// and written as whole commands, every wait bounded by the current time-out.
#include "mail/smtp/socket_connection.h"
#include "mail/smtp/tls_session.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace velocast::mail {

class SmtpChannel {
public:
    static constexpr int kMaxLineLength = 16384;

    void open(const QString& host, quint16 port, int connectTimeoutMs);
    bool isOpen() const { return socket_.isOpen(); }
    // Closes the socket; with notifyPeer a running TLS layer sends close_notify first.
    void close(bool notifyPeer);

    // The time each reply (or each written command) may take, and the peer's name for the
    // message when it runs out.
    void setIoTimeout(int milliseconds) { ioTimeoutMs_ = milliseconds; }
    int ioTimeout() const { return ioTimeoutMs_; }

    // Starts TLS on the open connection, the server judged by the policy. False when OpenSSL
    // cannot be used at all; a failed handshake (a refused certificate included) raises
    // TlsFailure, a server that stops answering during it the time-out.
    bool startTls(const QString& serverName, const TlsPolicy& policy = {});
    bool tlsActive() const { return tls_ != nullptr; }
    QString tlsDescription() const;
    bool tlsResumed() const { return tls_ && tls_->resumed(); }
    TlsPeerReport tlsPeerReport() const { return tls_ ? tls_->peerReport() : TlsPeerReport{}; }

    // One line without its CR LF; waits at most until deadline. Errors: the time-out,
    // "Connection Closed Gracefully." and a line longer than kMaxLineLength.
    QByteArray readLine(Deadline deadline);
    void writeAll(const QByteArray& data);
    // Bytes received and not yet read as a line (what a garbled reply consisted of).
    const QByteArray& unreadBytes() const { return buffer_; }

private:
    enum class Direction { Reading, Writing };
    qint64 fill(Deadline deadline);
    // After a transfer moved nothing: waits until the socket is ready for what the layer in
    // use asked for; false when the deadline passed first.
    bool waitToContinue(qint64 progress, Direction direction, Deadline deadline) const;
    [[noreturn]] void throwTimeout(const char* what) const;

    SocketConnection socket_;
    std::unique_ptr<TlsSession> tls_;
    QByteArray buffer_;
    QString peer_;
    int ioTimeoutMs_ = 60000;
};

}  // namespace velocast::mail
