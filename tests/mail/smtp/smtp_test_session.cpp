#include "smtp_test_session.h"

#include "mail/smtp/socket_connection.h"

namespace velocast::mail::testing {

std::string ehloLine() { return "EHLO " + localHostName().toStdString(); }

}  // namespace velocast::mail::testing
