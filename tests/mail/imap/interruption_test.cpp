// An end request cuts a wait for the IMAP server short, as it does the SMTP waits: a server
// that stops answering must not hold the program's end for the command's whole time-out.
#include "mail/imap/imap_client.h"
#include "platform/wait_interruption.h"
#include "scripted_imap_server.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace velocast::mail;
using namespace velocast::mail::testing;
using Server = ScriptedImapServer;

TEST(ImapInterruption, AnEndRequestEndsTheWaitForAnAnswer) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    bool asked = false;
    velocast::interruptWaitsWhenReadable(ends[0], [&] { asked = true; });
    Server server(
        {Server::say("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR] ready"), Server::hear(), Server::awaitClose()});
    ImapClient client({QStringLiteral("127.0.0.1"), server.port(), ImapTls::Implicit, testTlsPolicy()},
                      {QStringLiteral("club"), QStringLiteral("s3cret"), std::nullopt});
    // A time-out far beyond the test's run: only the end request can end this wait.
    client.setTimeouts({10000, 600000, 600000});
    client.connect();
    ASSERT_EQ(::write(ends[1], "x", 1), 1);
    try {
        client.signIn();
        ADD_FAILURE() << "the wait was not interrupted";
    } catch (const ImapError& error) {
        EXPECT_EQ(error.failure(), ImapFailure::Interrupted) << error.what();
    }
    EXPECT_TRUE(asked);
    EXPECT_FALSE(client.isConnected());
    velocast::interruptWaitsWhenReadable(-1, {});
    ::close(ends[0]);
    ::close(ends[1]);
    server.transcript();
}
