#include "mail/smtp/smtp_error.h"

namespace velocast::mail {

SmtpError::SmtpError(QString message, SmtpStage stage)
    : message_(std::move(message)), stage_(stage), utf8_(message_.toStdString()) {}

void SmtpError::setRefusal(QString command, int replyCode, QString enhancedCode) {
    command_ = std::move(command);
    replyCode_ = replyCode;
    enhancedCode_ = std::move(enhancedCode);
}

void SmtpError::setReply(int replyCode, QString enhancedCode) {
    replyCode_ = replyCode;
    enhancedCode_ = std::move(enhancedCode);
}

}  // namespace velocast::mail
