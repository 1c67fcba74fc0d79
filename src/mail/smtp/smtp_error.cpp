#include "mail/smtp/smtp_error.h"

namespace velocast::mail {

SmtpError::SmtpError(QString message, SmtpStage stage)
    : message_(std::move(message)), stage_(stage), utf8_(message_.toStdString()) {}

}  // namespace velocast::mail
