#include "mail/imap/imap_channel.h"

#include "mail/smtp/smtp_error.h"

#include <chrono>

namespace velocast::mail {

namespace {

// The socket layer speaks SmtpError; an end request is the one failure with a meaning of its own.
[[noreturn]] void rethrowSocketFailure(const SmtpError& error, ImapFailure otherwise) {
    if (error.message().startsWith(QLatin1String("Interrupted")))
        throw ImapError(ImapFailure::Interrupted, error.message());
    throw ImapError(otherwise, error.message());
}

}  // namespace

void ImapChannel::open(const QString& host, quint16 port, int connectTimeoutMs) {
    close(false);
    peer_ = QStringLiteral("%1:%2").arg(host).arg(port);
    try {
        socket_.open(host, port, connectTimeoutMs);
    } catch (const SmtpError& error) {
        rethrowSocketFailure(error, ImapFailure::Connect);
    }
}

void ImapChannel::close(bool notifyPeer) {
    if (tls_ && notifyPeer && socket_.isOpen()) tls_->shutdown();
    tls_.reset();
    socket_.close();
    buffer_.clear();
}

void ImapChannel::timeout(const char* what) const {
    throw ImapError(
        ImapFailure::Timeout,
        QStringLiteral("%1 timed out: the IMAP server %2 stopped answering.").arg(QLatin1String(what), peer_));
}

void ImapChannel::startTls(const QString& serverName, const TlsPolicy& policy, Deadline deadline) {
    peerReport_ = {};
    std::unique_ptr<TlsSession> tls;
    try {
        tls = TlsSession::create(socket_.descriptor(), serverName, peer_, policy);
        if (!tls) throw ImapError(ImapFailure::Tls, QStringLiteral("OpenSSL cannot be used on this machine."));
        // Bytes the server sent before the handshake belong to the plain stream: a server that
        // slips responses in there is trying to have them read as protected.
        buffer_.clear();
        for (qint64 step = tls->handshakeStep(); step != 1; step = tls->handshakeStep())
            if (!waitFor(step, step == TlsSession::WantRead, deadline)) timeout("TLS handshake");
    } catch (const TlsFailure& failure) {
        peerReport_ = failure.peer;
        close(false);
        throw ImapError(failure.certificateRefused ? ImapFailure::CertificateRefused : ImapFailure::Tls,
                        QStringLiteral("TLS with the IMAP server %1 failed: %2").arg(peer_, failure.reason));
    } catch (const SmtpError& error) {
        close(false);
        rethrowSocketFailure(error, ImapFailure::Tls);
    }
    peerReport_ = tls->peerReport();
    tls_ = std::move(tls);
}

bool ImapChannel::waitFor(qint64 progress, bool reading, Deadline deadline) const {
    // Under TLS a read may first need to write (and a write to read): the TLS layer says which.
    bool needsRead = reading;
    if (tls_ && progress < 0) needsRead = progress == TlsSession::WantRead;
    try {
        return needsRead ? socket_.waitReadable(deadline) : socket_.waitWritable(deadline);
    } catch (const SmtpError& error) {
        rethrowSocketFailure(error, ImapFailure::Closed);
    }
}

qint64 ImapChannel::fill(Deadline deadline) {
    char chunk[16384];
    for (;;) {
        qint64 n;
        try {
            n = tls_ ? tls_->read(chunk, sizeof chunk) : socket_.receive(chunk, sizeof chunk);
        } catch (const TlsFailure& failure) {
            throw ImapError(ImapFailure::Tls, failure.reason);
        } catch (const SmtpError& error) {
            rethrowSocketFailure(error, ImapFailure::Closed);
        }
        if (n >= 0) {
            buffer_.append(chunk, n);
            return n;
        }
        if (!waitFor(n, true, deadline)) timeout("Read");
    }
}

QByteArray ImapChannel::readLine(Deadline deadline, qsizetype maxLength) {
    const auto tooLong = [&] {
        return ImapError(
            ImapFailure::TooLarge,
            QStringLiteral("The IMAP server %1 sent a response line longer than %2 bytes.").arg(peer_).arg(maxLength));
    };
    qsizetype searched = 0;
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n', searched);
        if (end < 0) {
            searched = buffer_.size();
            if (buffer_.size() > maxLength + 1) throw tooLong();  // + 1: a CR waiting for its LF
            if (fill(deadline) == 0)
                throw ImapError(ImapFailure::Closed,
                                QStringLiteral("The IMAP server %1 closed the connection.").arg(peer_));
            continue;
        }
        QByteArray line = buffer_.left(end);
        buffer_.remove(0, end + 1);
        if (line.endsWith('\r')) line.chop(1);
        if (line.size() > maxLength) throw tooLong();
        return line;
    }
}

QByteArray ImapChannel::readBytes(qsizetype size, Deadline deadline) {
    while (buffer_.size() < size)
        if (fill(deadline) == 0)
            throw ImapError(ImapFailure::Closed,
                            QStringLiteral("The IMAP server %1 closed the connection inside a literal.").arg(peer_));
    QByteArray bytes = buffer_.left(size);
    buffer_.remove(0, size);
    return bytes;
}

void ImapChannel::writeAll(const QByteArray& data, Deadline deadline) {
    qsizetype done = 0;
    while (done < data.size()) {
        qint64 n;
        try {
            n = tls_ ? tls_->write(data.constData() + done, data.size() - done)
                     : socket_.transmit(data.constData() + done, data.size() - done);
        } catch (const TlsFailure& failure) {
            throw ImapError(ImapFailure::Tls, failure.reason);
        } catch (const SmtpError& error) {
            rethrowSocketFailure(error, ImapFailure::Closed);
        }
        if (n > 0) {
            done += n;
            continue;
        }
        if (!waitFor(n, false, deadline)) timeout("Write");
    }
}

}  // namespace velocast::mail
