#pragma once
// The one error type the SMTP client raises. It says where the dialogue stood (the stage and
// the step) and, when the server refused, the command and its reply codes: the outbox sender's
// table of failure classes tells from them an outage from a refused recipient or a server
// that throttles.
#include <QString>

#include "mail/smtp/smtp_setting.h"
#include <exception>
#include <string>

namespace velocast::mail {

enum class SmtpStage {
    Configuring,  // a setting was refused (e.g. the TLS mode while connected)
    Connecting,   // connect(): TCP, implicit TLS, greeting, EHLO/HELO
    Sending,      // send(): STARTTLS, AUTH, envelope, data
};

// Where in the dialogue a failure happened, finer than the stage: what the sender's table of
// failure classes needs to tell a server that will not talk from one that refuses a recipient.
enum class SmtpStep {
    None,     // before anything was said (a setting, an empty host)
    Connect,  // the TCP connection, or implicit TLS on it
    Greeting,
    Ehlo,      // EHLO, or HELO after it
    StartTls,  // STARTTLS and its handshake
    Auth,
    Mail,     // MAIL FROM
    Rcpt,     // RCPT TO
    Data,     // the DATA command
    DataEnd,  // the reply to the end of the data
};

class SmtpError : public std::exception {
public:
    explicit SmtpError(QString message, SmtpStage stage = SmtpStage::Sending);

    const QString& message() const { return message_; }
    SmtpStage stage() const { return stage_; }
    void setStage(SmtpStage stage) { stage_ = stage; }

    // When the server refused a command: the command ("MAIL", "RCPT", "DATA" or "." for the
    // end of the data), its reply code and the enhanced status code the reply began with
    // ("5.1.1"; empty when it gave none). Empty and 0 for every other failure. They let the
    // caller tell a recipient that does not exist from a server that will not take mail.
    const QString& command() const { return command_; }
    int replyCode() const { return replyCode_; }
    const QString& enhancedCode() const { return enhancedCode_; }
    void setRefusal(QString command, int replyCode, QString enhancedCode);
    // The server's TLS certificate was refused: no passing outage, a setting only a person
    // can fix (velocast.conf's [tls], or the server's certificate).
    bool certificateRefused() const { return certificateRefused_; }
    void setCertificateRefused(bool refused) { certificateRefused_ = refused; }
    // The setting of the account that caused the failure and that only a person can change
    // (the server for a host that does not exist, the TLS mode for one the port cannot
    // speak); None for a failure that may pass by itself.
    SmtpSetting settingAtFault() const { return settingAtFault_; }
    void setSettingAtFault(SmtpSetting setting) { settingAtFault_ = setting; }
    // The step the dialogue was at; with a reply code and no command for a failure whose reply
    // was not a refusal of MAIL, RCPT or DATA (a greeting, an AUTH rejection).
    SmtpStep step() const { return step_; }
    void setStep(SmtpStep step) { step_ = step; }
    void setReply(int replyCode, QString enhancedCode);
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    SmtpStage stage_;
    std::string utf8_;
    QString command_;
    int replyCode_ = 0;
    QString enhancedCode_;
    bool certificateRefused_ = false;
    SmtpSetting settingAtFault_ = SmtpSetting::None;
    SmtpStep step_ = SmtpStep::None;
};

}  // namespace velocast::mail
