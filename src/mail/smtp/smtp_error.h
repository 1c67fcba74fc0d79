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
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    SmtpStage stage_;
    std::string utf8_;
};

}  // namespace velocast::mail
