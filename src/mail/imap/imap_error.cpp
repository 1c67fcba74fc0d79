#include "mail/imap/imap_error.h"

namespace velocast::mail {

ImapError::ImapError(ImapFailure failure, QString message, QString command, QString status, QString responseCode)
    : failure_(failure),
      message_(std::move(message)),
      command_(std::move(command)),
      status_(std::move(status)),
      responseCode_(std::move(responseCode)),
      utf8_(message_.toStdString()) {}

void ImapError::setCommand(const QString& command) { command_ = command; }

}  // namespace velocast::mail
