#include "mail/smtp/smtp_client.h"

#include "mail/smtp/tls_fips.h"
#include "mail/smtp/tls_mode_hint.h"

#include <algorithm>

namespace velocast::mail {

namespace {

// Commands and addresses go out as 7-bit ASCII; anything else becomes "?".
QByteArray ascii7(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) bytes.append(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '?');
    return bytes;
}

bool holdsLineBreak(const QString& text) {
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

// A CR or LF inside a command or a message line would let the text end the command (or the
// DATA section) early and smuggle commands of its own to the server.
void refuseLineBreaks(const ComposedMessage& message) {
    auto refuse = [](const QString& what) {
        throw SmtpError(QStringLiteral("The %1 holds a line break; nothing was sent.").arg(what));
    };
    if (holdsLineBreak(message.fromAddress)) refuse(QStringLiteral("sender address"));
    for (const QString& recipient : message.recipients)
        if (holdsLineBreak(recipient)) refuse(QStringLiteral("recipient address"));
    for (qsizetype i = 0; i < message.lines.size(); ++i)
        if (message.lines[i].contains('\r') || message.lines[i].contains('\n'))
            refuse(QStringLiteral("message line %1").arg(i + 1));
}

}  // namespace

SmtpClient::~SmtpClient() { release(); }

void SmtpClient::warn(const QString& text) const {
    if (warningObserver_) warningObserver_(transcript_.scrub(text));
}

QString SmtpClient::settingName(SmtpSetting setting) const {
    return settingNames_ ? settingNames_(setting) : plainSettingName(setting);
}

void SmtpClient::setTlsMode(TlsMode mode) {
    if (isConnected())
        throw SmtpError(QStringLiteral("This value can not be set while the client is connected."),
                        SmtpStage::Configuring);
    if (mode == TlsMode::Implicit && tlsMode_ != TlsMode::Implicit && port_ == 25) port_ = 465;
    else if (mode != TlsMode::Implicit && tlsMode_ == TlsMode::Implicit && port_ == 465) port_ = 25;
    tlsMode_ = mode;
}

void SmtpClient::signInWithBearer() {
    // A bearer token is as good as a password to whoever reads it on the way.
    if (!channel_.tlsActive())
        fail(QStringLiteral("The OAuth 2.0 access token is sent only over TLS, and this session has none: set "
                            "%1 to utUseRequireTLS (STARTTLS) or utUseImplicitTLS")
                 .arg(settingName(SmtpSetting::TlsMode)));
    BearerSignIn signIn = *bearer_;
    signIn.accessToken = [this](bool renew) {
        QString token = bearer_->accessToken(renew);
        transcript_.addToken(token);
        return token;
    };
    bearerMechanism_ = authenticateBearer(*this, capabilities_, signIn, host_, port_);
}

void SmtpClient::fail(const QString& message) { throw SmtpError(message); }

SmtpReply SmtpClient::readReply() {
    try {
        return lastReply_ = velocast::mail::readReply(channel_, deadlineAfter(channel_.ioTimeout()),
                                                      [this](const QByteArray& line) { transcript_.received(line); });
    } catch (const SmtpError&) {
        unreadAtFailure_ = channel_.unreadBytes().left(8);
        channel_.close(false);  // lost, silent or garbled: nothing more can be said on it
        throw;
    }
}

SmtpReply SmtpClient::command(const QByteArray& line, const QByteArray& shownAs) {
    if (line.contains('\r') || line.contains('\n'))
        fail(QStringLiteral("A command holding a line break was not sent."));
    if (!channel_.isOpen()) fail(QStringLiteral("Not connected."));
    transcript_.sent(line, shownAs);
    lastReply_ = {};
    try {
        channel_.writeAll(line + "\r\n");
    } catch (const SmtpError&) {
        channel_.close(false);
        throw;
    }
    return readReply();
}

SmtpReply SmtpClient::command(const QString& line) {
    if (holdsLineBreak(line)) fail(QStringLiteral("A command holding a line break was not sent."));
    const QByteArray bytes = ascii7(line);
    return command(bytes, bytes);
}

void SmtpClient::startTls(bool duringConnect) {
    channel_.setIoTimeout(std::min(timeouts_.replyMs, timeouts_.tlsSocketMs));
    tlsPeerReport_ = {};
    try {
        if (!channel_.startTls(host_, tlsPolicy_)) {
            channel_.close(false);
            fail(duringConnect ? QStringLiteral("Could not load SSL library.")
                               : QStringLiteral("SSL negotiation failed."));
        }
    } catch (const TlsFailure& failure) {
        tlsPeerReport_ = failure.peer;
        if (!failure.peer.verdict.isEmpty())
            transcript_.note(QStringLiteral("server certificate %1").arg(failure.peer.verdict));
        transcript_.note(QStringLiteral("TLS handshake failed: %1").arg(failure.reason));
        channel_.close(false);
        // A refused certificate says why and what to do, whichever way TLS started.
        SmtpError error(duringConnect ? QStringLiteral("Error connecting with SSL.\r\n%1").arg(failure.reason)
                        : failure.certificateRefused
                            ? QStringLiteral("SSL negotiation failed.\r\n%1").arg(failure.reason)
                            : QStringLiteral("SSL negotiation failed."));
        error.setCertificateRefused(failure.certificateRefused);
        throw error;
    } catch (const SmtpError&) {
        channel_.close(false);  // the time-out, which names the silent server
        throw;
    }
    tlsPeerReport_ = channel_.tlsPeerReport();
    if (!tlsPeerReport_.verdict.isEmpty())
        transcript_.note(QStringLiteral("server certificate %1").arg(tlsPeerReport_.verdict));
    transcript_.note(
        QStringLiteral("TLS started (%1%2)")
            .arg(channel_.tlsDescription(), channel_.tlsResumed() ? QStringLiteral(", session resumed") : QString()));
}

void SmtpClient::introduce() {
    step_ = SmtpStep::Ehlo;
    const QString name = localHostName();
    SmtpReply reply = command(QStringLiteral("EHLO ") + name);
    if (reply.code == 250) {
        capabilities_ = reply.textLines().mid(1);
        return;
    }
    capabilities_.clear();
    reply = command(QStringLiteral("HELO ") + name);
    if (reply.code != 250) {
        channel_.close(false);
        fail(reply.text());
    }
}

void SmtpClient::connect() {
    authenticated_ = false;
    capabilities_.clear();
    transcript_.beginSession();
    channel_.close(false);
    step_ = SmtpStep::None;
    lastReply_ = {};
    unreadAtFailure_.clear();
    try {
        const auto settingFault = [](const QString& text, SmtpSetting setting) {
            SmtpError error(text);
            error.setSettingAtFault(setting);
            throw error;
        };
        if (host_.isEmpty()) settingFault(QStringLiteral("A Host is required"), SmtpSetting::Server);
        if (port_ == 0) settingFault(QStringLiteral("A Port is required"), SmtpSetting::Server);
        // Port 465 speaks TLS from the first byte: in any other mode the client would wait for
        // a greeting that never comes, row after row. Said at once, with what to change.
        if (port_ == kImplicitTlsPort && tlsMode_ != TlsMode::Implicit)
            settingFault(
                QStringLiteral("Port %1 takes TLS from the first byte, but %2 is %3.")
                    .arg(QString::number(port_), settingName(SmtpSetting::TlsMode), tlsModeSettingName(tlsMode_)),
                SmtpSetting::TlsMode);
        step_ = SmtpStep::Connect;
        transcript_.note(QStringLiteral("Connecting to %1:%2").arg(host_).arg(port_));
        channel_.setIoTimeout(timeouts_.replyMs);
        channel_.open(host_, port_, timeouts_.connectMs);
        if (tlsMode_ == TlsMode::Implicit) startTls(true);
        step_ = SmtpStep::Greeting;
        channel_.setIoTimeout(std::min(channel_.ioTimeout(), timeouts_.greetingMs));
        const SmtpReply greeting = readReply();
        if (greeting.code != 220) {
            channel_.close(false);
            fail(greeting.text());
        }
        channel_.setIoTimeout(tlsMode_ == TlsMode::Implicit ? std::min(timeouts_.replyMs, timeouts_.tlsSocketMs)
                                                            : timeouts_.replyMs);
        introduce();
    } catch (const SmtpError& error) {
        channel_.close(false);
        throw raised(error, SmtpStage::Connecting);
    }
}

SmtpError SmtpClient::raised(const SmtpError& error, SmtpStage stage) const {
    QString message = transcript_.scrub(error.message());
    const SmtpReply& reply = lastReply_;
    TlsModeSymptoms symptoms;
    symptoms.mode = tlsMode_;
    symptoms.port = port_;
    symptoms.step = step_;
    symptoms.replyCode = error.replyCode() != 0 ? error.replyCode() : reply.code;
    symptoms.replyText = error.message();
    symptoms.tlsBytesSeen =
        looksLikeTlsRecord(unreadAtFailure_) || (!reply.lines.isEmpty() && looksLikeTlsRecord(reply.lines.first()));
    symptoms.timedOut = error.message().contains(QLatin1String(" timed out: "));
    // A refused certificate means TLS was spoken: the mode is right, the trust is not.
    if (const QString hint =
            error.certificateRefused() ? QString() : tlsModeHint(symptoms, settingName(SmtpSetting::TlsMode));
        !hint.isEmpty())
        message += QStringLiteral("\r\n") + hint;
    SmtpError out(message, stage);
    out.setStep(step_);
    out.setCertificateRefused(error.certificateRefused());
    out.setSettingAtFault(error.settingAtFault());
    if (!error.command().isEmpty()) out.setRefusal(error.command(), error.replyCode(), error.enhancedCode());
    else if (reply.code != 0) out.setReply(reply.code, reply.enhancedCode());
    return out;
}

void SmtpClient::secure() {
    if ((tlsMode_ != TlsMode::Required && tlsMode_ != TlsMode::Explicit) || channel_.tlsActive()) return;
    const bool offered = std::any_of(capabilities_.cbegin(), capabilities_.cend(), [](const QString& line) {
        return line.trimmed().compare(QLatin1String("STARTTLS"), Qt::CaseInsensitive) == 0;
    });
    if (!offered) {
        if (tlsMode_ == TlsMode::Explicit && authentication_ != SmtpAuthentication::Sasl) return;
        step_ = SmtpStep::StartTls;
        disconnect();
        if (tlsMode_ == TlsMode::Explicit)
            // Someone on the way may have removed STARTTLS from the reply to read the password.
            fail(QStringLiteral("The server offers no STARTTLS, so the password would travel in clear text: no AUTH "
                                "was sent. Ask the provider for TLS; set %1 to utNoTLSSupport only if the "
                                "server really has none.")
                     .arg(settingName(SmtpSetting::TlsMode)));
        fail(QStringLiteral("SSL is not available on this server."));
    }
    step_ = SmtpStep::StartTls;
    if (command(QStringLiteral("STARTTLS")).code != 220) {
        disconnect();
        fail(QStringLiteral("Start SSL negotiation command failed."));
    }
    startTls(false);
    introduce();
}

void SmtpClient::refuse(const QString& refused, const SmtpReply& reply, bool reset) {
    if (reset) {
        try {
            command(QStringLiteral("RSET"));
        } catch (const SmtpError&) {
            // The refusal is what the caller needs to hear about, not the reset.
        }
    }
    SmtpError error(reply.text());
    error.setRefusal(refused, reply.code, reply.enhancedCode());
    throw error;
}

SmtpReply SmtpClient::writeDataAndEnd(const QList<QByteArray>& lines) {
    // Written in slices so that the time-out bounds a stall, not the size of the message.
    // The last slice carries the end-of-data line, so a short message leaves in one write.
    constexpr qsizetype kSlice = 64 * 1024;
    QByteArray pending;
    try {
        for (const QByteArray& line : lines) {
            if (line.startsWith('.')) pending += '.';
            pending += line;
            pending += "\r\n";
            if (pending.size() >= kSlice) {
                channel_.writeAll(pending);
                pending.clear();
            }
        }
        transcript_.note(QStringLiteral("%1 message lines written").arg(lines.size()));
        transcript_.sentShown(QStringLiteral("."));
        pending += ".\r\n";
        channel_.writeAll(pending);
    } catch (const SmtpError&) {
        channel_.close(false);
        throw;
    }
    // The server may take long to accept what it was given; its reply has a time of its own.
    const int usual = channel_.ioTimeout();
    channel_.setIoTimeout(timeouts_.dataEndReplyMs);
    struct Restore {
        SmtpChannel& channel;
        int ms;
        ~Restore() { channel.setIoTimeout(ms); }
    } restore{channel_, usual};
    return readReply();
}

void SmtpClient::submit(const ComposedMessage& message) {
    acceptedReply_.clear();
    step_ = SmtpStep::Mail;
    SmtpReply reply = command(QStringLiteral("MAIL FROM:<%1>").arg(message.fromAddress.trimmed()));
    if (reply.code != 250) refuse(QStringLiteral("MAIL"), reply, false);
    step_ = SmtpStep::Rcpt;
    for (const QString& recipient : message.recipients) {
        reply = command(QStringLiteral("RCPT TO:<%1>").arg(recipient.trimmed()));
        if (reply.code != 250 && reply.code != 251) refuse(QStringLiteral("RCPT"), reply, true);
    }
    step_ = SmtpStep::Data;
    reply = command(QStringLiteral("DATA"));
    if (reply.code != 354) refuse(QStringLiteral("DATA"), reply, true);
    step_ = SmtpStep::DataEnd;
    reply = writeDataAndEnd(message.lines);
    if (reply.code != 250) refuse(QStringLiteral("."), reply, true);
    acceptedReply_ = QStringLiteral("%1 %2").arg(reply.code).arg(reply.textLines().join(QLatin1Char(' ')));
}

void SmtpClient::send(const ComposedMessage& message) {
    try {
        refuseLineBreaks(message);
        if (!isConnected()) fail(QStringLiteral("Not connected."));
        if (!authenticated_) {
            secure();
            step_ = SmtpStep::Auth;
            bearerMechanism_.clear();
            if (authentication_ == SmtpAuthentication::Sasl && bearer_) signInWithBearer();
            else if (authentication_ == SmtpAuthentication::Sasl)
                authenticateSasl(*this, capabilities_, credentials_, host_, fipsModeEnabled(), channel_.tlsActive());
            authenticated_ = true;
        }
        submit(message);
    } catch (const SmtpError& error) {
        throw raised(error, SmtpStage::Sending);
    }
}

bool SmtpClient::resetForNextMessage() noexcept {
    if (!channel_.isOpen()) return false;
    try {
        if (command(QStringLiteral("RSET")).code == 250) return true;
    } catch (...) {
        // A server that no longer answers is simply connected to again.
    }
    disconnect();
    return false;
}

void SmtpClient::disconnect() noexcept {
    if (channel_.isOpen()) {
        try {
            command(QStringLiteral("QUIT"));
        } catch (...) {
            // Whatever the server says (or fails to say) to QUIT changes nothing.
        }
    }
    channel_.close(true);
    authenticated_ = false;
}

void SmtpClient::release() noexcept {
    channel_.close(false);
    authenticated_ = false;
}

}  // namespace velocast::mail
