#pragma once
// The SMTP client the outbox sender drives: configure, connect(), send(message), then
// resetForNextMessage() and send() again while the session carries more messages, and
// disconnect(); after a failed send, release().
//
// Every failure is an SmtpError whose message is the text the sender shows (the server's
// reply text, or one of the fixed messages), tagged with the stage it happened in. The
// password never appears in an error or in the dialogue log (see smtp_transcript.h).
#include "mail/mime/composed_message.h"
#include "mail/smtp/bearer_authenticator.h"
#include "mail/smtp/sasl_authenticator.h"
#include "mail/smtp/smtp_channel.h"
#include "mail/smtp/smtp_error.h"
#include "mail/smtp/smtp_setting.h"
#include "mail/smtp/smtp_tls_mode.h"
#include "mail/smtp/smtp_transcript.h"
#include "mail/smtp/tls_policy.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace velocast::mail {

enum class SmtpAuthentication { None, Sasl };

// No server may hold the program for ever: connecting and every reply have a limit. Once TLS
// runs, no single wait exceeds tlsSocketMs either, except the reply to the end of the data:
// a server may scan the message for minutes before it accepts it, and giving up then would
// count a delivered message as failed and send it again.
struct SmtpTimeouts {
    int connectMs = 60000;
    int replyMs = 60000;
    int tlsSocketMs = 30000;
    int dataEndReplyMs = 10 * 60000;
    // A server that says nothing for this long after the connection will not greet at all:
    // most often it waits for TLS that the client in plain mode never starts.
    int greetingMs = 30000;
};

// What the person running the program should know though nothing failed: a TLS mode the
// client did not recognise, a password sent with weak protection.
using WarningObserver = std::function<void(const QString& text)>;

class SmtpClient : private SaslExchange {
public:
    SmtpClient() = default;
    ~SmtpClient() override;
    SmtpClient(const SmtpClient&) = delete;
    SmtpClient& operator=(const SmtpClient&) = delete;

    void setHost(const QString& host) { host_ = host; }
    QString host() const { return host_; }
    void setPort(quint16 port) { port_ = port; }
    quint16 port() const { return port_; }
    // Refused while connected. Switching to implicit TLS moves port 25 to 465, and leaving
    // implicit TLS moves 465 back to 25; set the port after the mode to keep one of its own.
    void setTlsMode(TlsMode mode);
    TlsMode tlsMode() const { return tlsMode_; }
    void setAuthentication(SmtpAuthentication kind) { authentication_ = kind; }
    SmtpAuthentication authentication() const { return authentication_; }
    void setUserName(const QString& userName) { credentials_.userName = userName; }
    void setPassword(const QString& password) {
        credentials_.password = password;
        transcript_.setPassword(password);
    }
    // With a bearer sign-in, SASL authentication offers an OAuth 2.0 access token (OAUTHBEARER
    // or XOAUTH2) and never a password; only over TLS.
    void setBearerSignIn(std::optional<BearerSignIn> signIn) { bearer_ = std::move(signIn); }
    // The bearer mechanism the last sign-in used; empty otherwise.
    QString bearerMechanismUsed() const { return bearerMechanism_; }
    void setTimeouts(const SmtpTimeouts& timeouts) { timeouts_ = timeouts; }
    void setDialogueObserver(DialogueObserver observer) { transcript_.setObserver(std::move(observer)); }
    // How the messages name the account's settings; unset, they describe them plainly.
    void setSettingNames(SmtpSettingNames names) { settingNames_ = std::move(names); }
    QString settingName(SmtpSetting setting) const override;
    void setWarningObserver(WarningObserver observer) { warningObserver_ = std::move(observer); }
    void warn(const QString& text) const;
    // How the server's certificate is judged (the machine's choice, not the club database's).
    void setTlsPolicy(const TlsPolicy& policy) { tlsPolicy_ = policy; }
    const TlsPolicy& tlsPolicy() const { return tlsPolicy_; }
    // The certificate check of the last TLS handshake, passed or failed.
    const TlsPeerReport& tlsPeerReport() const { return tlsPeerReport_; }

    // TCP connection, implicit TLS, greeting, EHLO (HELO when EHLO is refused). Failures are
    // raised with stage Connecting and leave the client closed.
    void connect();
    // STARTTLS where the mode asks, authentication (once per session), MAIL FROM, RCPT TO,
    // DATA and the message. Failures are raised with stage Sending.
    void send(const ComposedMessage& message);
    // Before the next message on the same session: RSET. False (and the client closed) when
    // the server does not take it; the caller then connects again.
    bool resetForNextMessage() noexcept;
    // QUIT when still connected (any failure ignored), then close.
    void disconnect() noexcept;
    // Close without QUIT.
    void release() noexcept;

    bool isConnected() const { return channel_.isOpen(); }
    bool isAuthenticated() const { return authenticated_; }
    bool tlsActive() const { return channel_.tlsActive(); }
    // The server's reply that took the last message ("250 2.0.0 Ok: queued as 4F2A"): the
    // receipt that names the message in the server's own log. Empty until one was taken.
    QString acceptedReply() const { return acceptedReply_; }
    // The text lines of the last EHLO reply after the first; empty after HELO.
    QStringList capabilities() const { return capabilities_; }

private:
    SmtpReply command(const QByteArray& line, const QByteArray& shownAs) override;
    void warning(const QString& text) override { warn(text); }
    SmtpReply command(const QString& line);
    SmtpReply readReply();
    void startTls(bool duringConnect);
    void introduce();
    void secure();
    void submit(const ComposedMessage& message);
    [[noreturn]] void refuse(const QString& command, const SmtpReply& reply, bool reset);
    // The message lines, dot-stuffed, and the end-of-data line; returns the reply to them.
    SmtpReply writeDataAndEnd(const QList<QByteArray>& lines);
    [[noreturn]] void fail(const QString& message);
    void signInWithBearer();
    // The failure as raised to the caller: scrubbed, with its stage, step and reply, and a
    // hint naming the TLS setting when the TLS mode looks wrong for this server.
    SmtpError raised(const SmtpError& error, SmtpStage stage) const;

    QString host_;
    quint16 port_ = 25;
    TlsMode tlsMode_ = TlsMode::Explicit;
    SmtpAuthentication authentication_ = SmtpAuthentication::None;
    SaslCredentials credentials_;
    std::optional<BearerSignIn> bearer_;
    QString bearerMechanism_;
    SmtpTimeouts timeouts_;
    SmtpTranscript transcript_;
    SmtpSettingNames settingNames_;
    WarningObserver warningObserver_;
    TlsPolicy tlsPolicy_;
    TlsPeerReport tlsPeerReport_;

    SmtpChannel channel_;
    QStringList capabilities_;
    bool authenticated_ = false;
    SmtpStep step_ = SmtpStep::None;
    QString acceptedReply_;
    SmtpReply lastReply_;         // the reply to the command under way; empty until it came
    QByteArray unreadAtFailure_;  // what the server had sent when a reply could not be read
};

}  // namespace velocast::mail
