#pragma once
// The one error type the SMTP client raises. The outbox sender treats a failure while
// connecting (the row stays, nothing is shown) differently from a failure while sending (a
// notice with the message as detail, then the program ends), so the error says which it was.
#include <QString>
#include <exception>
#include <string>

namespace velocast::mail {

enum class SmtpStage {
    Configuring,  // a setting was refused (e.g. the TLS mode while connected)
    Connecting,   // connect(): TCP, implicit TLS, greeting, EHLO/HELO
    Sending,      // send(): STARTTLS, AUTH, envelope, data
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
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    SmtpStage stage_;
    std::string utf8_;
    QString command_;
    int replyCode_ = 0;
    QString enhancedCode_;
    bool certificateRefused_ = false;
};

}  // namespace velocast::mail
