#include "smtp_test_session.h"

#include "mail/smtp/socket_connection.h"

#include <gtest/gtest.h>

namespace velocast::mail::testing {

std::string ehloLine() { return "EHLO " + localHostName().toStdString(); }

ComposedMessage largeMessage(qsizetype bytes) {
    ComposedMessage message{QStringLiteral("club@club.test"),
                            {QStringLiteral("member@club.test")},
                            {"From: club@club.test", "To: member@club.test", "Subject: large", ""}};
    for (qsizetype written = 0, n = 0; written < bytes; written += 78, ++n)
        message.lines << QByteArray::number(n).rightJustified(76, 'A');
    return message;
}

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
