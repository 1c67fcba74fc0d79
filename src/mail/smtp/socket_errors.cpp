#include "mail/smtp/socket_connection.h"

#include "mail/smtp/interrupted_wait.h"

#include "mail/smtp/smtp_error.h"
#include "platform/wait_interruption.h"

#include <cstring>

namespace velocast::mail {

Deadline deadlineAfter(int milliseconds) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

void throwSocketError(int code, const QString& text) {
    throw SmtpError(QStringLiteral("Socket Error # %1\r\n%2").arg(code).arg(text));
}

void throwErrno(int savedErrno) { throwSocketError(savedErrno, QString::fromLocal8Bit(std::strerror(savedErrno))); }

void waitInterrupted() {
    runWaitInterruption();
    throw SmtpError(QStringLiteral("Interrupted: the program was asked to end"));
}

}  // namespace velocast::mail
