#include "smtp_test_session.h"

#include "mail/smtp/socket_connection.h"

#include <gtest/gtest.h>

namespace velocast::mail::testing {

std::string ehloLine() { return "EHLO " + localHostName().toStdString(); }

SmtpError connectError(TestSession& session) {
    try {
        session.client.connect();
    } catch (const SmtpError& error) {
        return error;
    }
    ADD_FAILURE() << "connect() did not fail";
    return SmtpError({});
}

}  // namespace velocast::mail::testing
