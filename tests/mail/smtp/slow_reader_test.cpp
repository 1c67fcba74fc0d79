// A message far larger than the socket's send buffer: the write must wait for the socket to
// take more bytes, never for a reply the server cannot send before the message ends.
#include "support/smtp_scripted_server.h"
#include "smtp_test_session.h"

#include <gtest/gtest.h>

using namespace velocast::mail;
using namespace velocast::mail::testing;
using S = ScriptedSmtpServer;

// The peer takes its time before it reads any of the message (the fault itself, not a wait
// for an event): the client's send buffer fills, the write waits until the peer drains it,
// and the message still completes within the time each write may take.
TEST(SmtpLargeMessage, APeerThatReadsSlowlyStillGetsTheWholeMessage) {
    const ComposedMessage message = largeMessage(8 * 1024 * 1024);
    S server({S::say("220 ready"), S::hear(), S::say("250 smtp.club.test"), S::hear(), S::say("250 ok"), S::hear(),
              S::say("250 ok"), S::hear(), S::say("354 go ahead"), S::pause(500), S::hearData(), S::say("250 queued"),
              S::hear(), S::say("221 bye")});
    TestSession session(server.port());
    session.client.connect();
    EXPECT_NO_THROW(session.client.send(message));
    session.client.disconnect();

    const std::vector<std::string> heard = server.transcript();
    // EHLO, MAIL, RCPT, DATA, the message's lines, ".", QUIT.
    ASSERT_EQ(heard.size(), 4 + message.lines.size() + 2);
    EXPECT_EQ(heard[4 + message.lines.size() - 1], message.lines.last().toStdString());
    EXPECT_EQ(heard[heard.size() - 2], ".");
    EXPECT_EQ(heard.back(), "QUIT");
}
