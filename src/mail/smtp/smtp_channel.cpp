#include "mail/smtp/smtp_channel.h"

#include "mail/smtp/smtp_error.h"

namespace velocast::mail {

void SmtpChannel::open(const QString& host, quint16 port, int connectTimeoutMs) {
    close(false);
    peer_ = QStringLiteral("%1:%2").arg(host).arg(port);
    socket_.open(host, port, connectTimeoutMs);
}

void SmtpChannel::close(bool notifyPeer) {
    if (tls_ && notifyPeer && socket_.isOpen()) tls_->shutdown();
    tls_.reset();
    socket_.close();
    buffer_.clear();
}

void SmtpChannel::throwTimeout(const char* what) const {
    throw SmtpError(QStringLiteral("%1 timed out: the server %2 did not answer within %3 seconds.")
                        .arg(QLatin1String(what), peer_, QString::number(ioTimeoutMs_ / 1000.0)));
}

bool SmtpChannel::startTls(const QString& serverName, const TlsPolicy& policy) {
    std::unique_ptr<TlsSession> tls = TlsSession::create(socket_.descriptor(), serverName, peer_, policy);
    if (!tls) return false;
    // Bytes the server sent ahead of the handshake would belong to the plain stream.
    buffer_.clear();
    const Deadline deadline = deadlineAfter(ioTimeoutMs_);
    for (qint64 step = tls->handshakeStep(); step != 1; step = tls->handshakeStep()) {
        const bool ready =
            step == TlsSession::WantRead ? socket_.waitReadable(deadline) : socket_.waitWritable(deadline);
        if (!ready) throwTimeout("TLS handshake");
    }
    tls_ = std::move(tls);
    return true;
}

bool SmtpChannel::waitToContinue(qint64 progress, Direction direction, Deadline deadline) const {
    // A plain socket that would block waits in the direction of its own call. Under TLS a
    // read may first need to write (and a write to read), and only the TLS layer's answer
    // says which: the plain socket's "would block" must never be taken for one of those.
    bool needsRead = direction == Direction::Reading;
    if (tls_) needsRead = progress == TlsSession::WantRead;
    return needsRead ? socket_.waitReadable(deadline) : socket_.waitWritable(deadline);
}

QString SmtpChannel::tlsDescription() const { return tls_ ? tls_->description() : QString(); }

qint64 SmtpChannel::fill(Deadline deadline) {
    char chunk[4096];
    for (;;) {
        qint64 n;
        try {
            n = tls_ ? tls_->read(chunk, sizeof chunk) : socket_.receive(chunk, sizeof chunk);
        } catch (const TlsFailure& failure) {
            throw SmtpError(failure.reason);
        }
        if (n >= 0) {
            buffer_.append(chunk, n);
            return n;
        }
        if (!waitToContinue(n, Direction::Reading, deadline)) throwTimeout("Read");
    }
}

QByteArray SmtpChannel::readLine(Deadline deadline) {
    const auto tooLong = [] {
        return SmtpError(QStringLiteral("Reply line longer than %1 characters.").arg(kMaxLineLength));
    };
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n');
        if (end < 0) {
            if (buffer_.size() > kMaxLineLength + 1)  // + 1: a CR waiting for its LF
                throw tooLong();
            if (fill(deadline) == 0) throw SmtpError(QStringLiteral("Connection Closed Gracefully."));
            continue;
        }
        QByteArray line = buffer_.left(end);
        buffer_.remove(0, end + 1);
        if (line.endsWith('\r')) line.chop(1);
        if (line.size() > kMaxLineLength) throw tooLong();
        return line;
    }
}

void SmtpChannel::writeAll(const QByteArray& data) {
    const Deadline deadline = deadlineAfter(ioTimeoutMs_);
    qsizetype done = 0;
    while (done < data.size()) {
        qint64 n;
        try {
            n = tls_ ? tls_->write(data.constData() + done, data.size() - done)
                     : socket_.transmit(data.constData() + done, data.size() - done);
        } catch (const TlsFailure& failure) {
            throw SmtpError(failure.reason);
        }
        if (n > 0) {
            done += n;
            continue;
        }
        if (!waitToContinue(n, Direction::Writing, deadline)) throwTimeout("Write");
    }
}

}  // namespace velocast::mail
