#pragma once
// The byte stream of one IMAP session: the SMTP client's socket and TLS layers, read as lines
// and as literals of a stated length, every wait bounded by a deadline and cut short by an end
// request. Unlike SMTP, a single IMAP response may carry a whole message, so the caps on a
// line and on a literal are the caller's.
#include "mail/imap/imap_error.h"
#include "mail/smtp/socket_connection.h"
#include "mail/smtp/tls_session.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace velocast::mail {

class ImapChannel {
public:
    // Failures raise ImapError (Connect, Interrupted, Timeout).
    void open(const QString& host, quint16 port, int connectTimeoutMs);
    bool isOpen() const { return socket_.isOpen(); }
    void close(bool notifyPeer);

    // TLS on the open connection, the server judged by the policy. Failures raise ImapError
    // (Tls, CertificateRefused, Timeout); peerReport() then holds what the server showed.
    void startTls(const QString& serverName, const TlsPolicy& policy, Deadline deadline);
    bool tlsActive() const { return tls_ != nullptr; }
    QString tlsDescription() const { return tls_ ? tls_->description() : QString(); }
    const TlsPeerReport& peerReport() const { return peerReport_; }

    // One line without its CR LF; TooLarge past maxLength bytes, Closed when the peer closed.
    QByteArray readLine(Deadline deadline, qsizetype maxLength);
    // Exactly `size` bytes (the caller checked the size against its cap).
    QByteArray readBytes(qsizetype size, Deadline deadline);
    void writeAll(const QByteArray& data, Deadline deadline);
    // Whether bytes the server sent are waiting unread (a response before the command's end).
    bool hasBufferedBytes() const { return !buffer_.isEmpty(); }

private:
    qint64 fill(Deadline deadline);
    bool waitFor(qint64 progress, bool reading, Deadline deadline) const;
    [[noreturn]] void timeout(const char* what) const;

    SocketConnection socket_;
    std::unique_ptr<TlsSession> tls_;
    QByteArray buffer_;
    QString peer_;
    TlsPeerReport peerReport_;
};

}  // namespace velocast::mail
