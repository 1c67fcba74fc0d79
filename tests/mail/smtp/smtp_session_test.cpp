// The SMTP session against a scripted peer: exact exchanges and the failures that reach the
// outbox sender, with their stage and text.
#include "mail/smtp/smtp_client.h"
#include "support/smtp_scripted_server.h"
#include "smtp_test_session.h"

#include <gtest/gtest.h>

using namespace velocast::mail;
using namespace velocast::mail::testing;
using S = ScriptedSmtpServer;
using Lines = std::vector<std::string>;

namespace {

std::vector<S::Step> join(std::initializer_list<std::vector<S::Step>> parts) {
    std::vector<S::Step> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const std::vector<S::Step> kGreeting{S::say("220-smtp.club.test\r\n220 ready")};
const std::vector<S::Step> kEhloPlain = reply("250-smtp.club.test\r\n250-PIPELINING\r\n250 8BITMIME");

SmtpError sendError(TestSession& session, const ComposedMessage& message = testMessage()) {
    try {
        session.client.send(message);
    } catch (const SmtpError& error) {
        return error;
    }
    ADD_FAILURE() << "send() did not fail";
    return SmtpError({});
}

}  // namespace

TEST(SmtpSession, SubmitsOneMessageWithDotStuffingAndSevenBitCommands) {
    S server(join({kGreeting,
                   kEhloPlain,
                   reply("250 sender ok"),
                   reply("250 ok"),
                   reply("251 will forward"),
                   reply("354 go ahead"),
                   {S::hearData(), S::say("250 queued")},
                   reply("221 bye")}));
    TestSession session(server.port());
    session.client.connect();
    EXPECT_EQ(session.client.capabilities(), QStringList({"PIPELINING", "8BITMIME"}));

    ComposedMessage message{QStringLiteral("  club@club.test "),
                            {QStringLiteral("a@club.test"), QStringLiteral("jos\u00e9@club.test")},
                            {"Subject: x", "", ".", "..two", "end.", ""}};
    session.client.send(message);
    session.client.disconnect();
    EXPECT_FALSE(session.client.isConnected());

    EXPECT_EQ(server.transcript(),
              (Lines{ehloLine(), "MAIL FROM:<club@club.test>", "RCPT TO:<a@club.test>", "RCPT TO:<jos?@club.test>",
                     "DATA", "Subject: x", "", "..", "...two", "end.", "", ".", "QUIT"}));
}

TEST(SmtpSession, EhloRefusedFallsBackToHeloWithoutCapabilities) {
    // No capabilities: SASL finds no mechanism.
    S server(join({kGreeting, reply("502 5.5.1 EHLO not implemented"), reply("250 hello")}));
    TestSession session(server.port(), TlsMode::None);
    session.useSasl(QStringLiteral("user"), QStringLiteral("secret"));
    session.client.connect();
    EXPECT_TRUE(session.client.capabilities().isEmpty());
    const SmtpError error = sendError(session);
    EXPECT_EQ(error.message(), "Doesn't support AUTH or the specified SASL handlers!!");
    EXPECT_EQ(error.stage(), SmtpStage::Sending);
    session.client.release();
    EXPECT_EQ(server.transcript(), (Lines{ehloLine(), "HELO " + ehloLine().substr(5)}));
}

TEST(SmtpSession, ConnectFailuresCloseWithoutQuitAndCarryTheirText) {
    struct Case {
        const char* name;
        std::vector<S::Step> script;
        Lines heard;
        QString message;  // exact, or the start of it when partial
        bool partial = false;
    };
    const std::string tooLong(16385, 'x');
    // A reply of `lines` continuation lines of `width` characters that never ends.
    const auto endless = [](int lines, size_t width) {
        std::string text;
        for (int i = 0; i < lines; ++i) text += "220-" + std::string(width, 'x') + "\r\n";
        return text + "220-";
    };
    const std::vector<Case> cases{
        {"greeting not 220", {S::say("554 5.3.2 no service today")}, {}, "5.3.2 no service today"},
        {"HELO refused",
         join({kGreeting, reply("500 what"), reply("550 go away\r\n")}),
         {ehloLine(), "HELO " + ehloLine().substr(5)},
         "go away"},
        {"closed in mid-reply",
         join({kGreeting, {S::hear(), S::sayRaw("250-smtp.club.test\r\n250-PIPE"), S::close()}}),
         {ehloLine()},
         "Connection Closed Gracefully."},
        {"reply line too long", {S::say("220 " + tooLong)}, {}, "Reply line longer than 16384 characters."},
        {"endless reply: lines",
         {S::say(endless(1001, 10))},
         {},
         "The server's reply is longer than 1000 lines or 65536 bytes."},
        {"endless reply: bytes",
         {S::say(endless(6, 12000))},
         {},
         "The server's reply is longer than 1000 lines or 65536 bytes."},
        {"implicit TLS on a plain server",
         {S::say("220 plain text here"), S::awaitClose()},
         {},
         "Error connecting with SSL.\r\n",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        S server(c.script);
        TestSession session(server.port(), c.partial ? TlsMode::Implicit : TlsMode::None);
        const SmtpError error = connectError(session);
        EXPECT_EQ(error.stage(), SmtpStage::Connecting);
        if (c.partial) EXPECT_TRUE(error.message().startsWith(c.message)) << error.what();
        else EXPECT_EQ(error.message(), c.message);
        EXPECT_FALSE(session.client.isConnected());
        session.client.disconnect();  // what the sender does next: must not say QUIT now
        EXPECT_EQ(server.transcript(), c.heard);
    }
}

TEST(SmtpSession, StartTlsProblemsInRequiredAndExplicitModes) {
    struct Case {
        const char* name;
        TlsMode mode;
        std::vector<S::Step> script;
        Lines heard;
        QString message;
    };
    const std::vector<Case> cases{
        {"required, not offered",
         TlsMode::Required,
         join({kGreeting, kEhloPlain, reply("221 bye")}),
         {ehloLine(), "QUIT"},
         "SSL is not available on this server."},
        {"offered, answered 454",
         TlsMode::Explicit,
         join({kGreeting, reply("250-smtp.club.test\r\n250 starttls"), reply("454 4.7.0 TLS not available"),
               reply("221 bye")}),
         {ehloLine(), "STARTTLS", "QUIT"},
         "Start SSL negotiation command failed."},
        {"handshake fails",
         TlsMode::Required,
         join({kGreeting,
               reply("250-smtp.club.test\r\n250 STARTTLS"),
               reply("220 go ahead"),
               {S::sayRaw("this is not TLS\r\n"), S::awaitClose()}}),
         {ehloLine(), "STARTTLS"},
         "SSL negotiation failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        S server(c.script);
        TestSession session(server.port(), c.mode);
        session.client.connect();
        const SmtpError error = sendError(session);
        EXPECT_EQ(error.message(), c.message);
        EXPECT_EQ(error.stage(), SmtpStage::Sending);
        EXPECT_FALSE(session.client.isConnected());
        EXPECT_EQ(server.transcript(), c.heard);
    }
}

// Explicit mode against a reply without STARTTLS (a server without TLS, or someone on the
// way who removed it): without a password to protect the session runs in plain text; with
// one, no AUTH leaves and the send fails saying why. A HELO-only server is the same case.
TEST(SmtpSession, ExplicitModeWithoutStartTlsNeverSendsThePasswordInClear) {
    const std::vector<S::Step> stripped = reply("250-smtp.club.test\r\n250 AUTH PLAIN LOGIN");
    const std::vector<S::Step> heloOnly = join({reply("502 5.5.1 no EHLO"), reply("250 hello")});
    struct Case {
        const char* name;
        std::vector<S::Step> ehlo;
        bool sasl;
    };
    for (const Case& c : {Case{"no password: plain session", stripped, false},
                          Case{"STARTTLS stripped, password configured", stripped, true},
                          Case{"HELO only, password configured", heloOnly, true}}) {
        SCOPED_TRACE(c.name);
        S server(join({kGreeting, c.ehlo,
                       c.sasl ? reply("221 bye")
                              : join({reply("250 ok"),
                                      reply("250 ok"),
                                      reply("354 go"),
                                      {S::hearData(), S::say("250 queued")},
                                      reply("221 bye")})}));
        TestSession session(server.port(), TlsMode::Explicit);
        if (c.sasl) session.useSasl(QStringLiteral("user"), QStringLiteral("s3cret!"));
        session.client.connect();
        QString error;
        try {
            session.client.send(testMessage());
            session.client.disconnect();
        } catch (const SmtpError& e) {
            error = e.message();
            EXPECT_EQ(e.stage(), SmtpStage::Sending);
        }
        const Lines heard = server.transcript();
        EXPECT_EQ(heard.back(), "QUIT");
        if (c.sasl) {
            EXPECT_TRUE(
                error.startsWith("The server offers no STARTTLS, so the password would travel in clear text: "
                                 "no AUTH was sent."))
                << error.toStdString();
            for (const std::string& line : heard) EXPECT_EQ(line.find("AUTH"), std::string::npos) << line;
        } else {
            EXPECT_EQ(error, QString());
            EXPECT_EQ(heard[1], "MAIL FROM:<club@club.test>");
        }
    }
}

// The password is masked where it stands as a word of its own, in what the server says as
// in what was sent for it (its base64 forms), never inside unrelated text; control
// characters from the server never reach the log raw.
TEST(SmtpSession, ThePasswordIsMaskedAsAWordAndServerTextIsMadePrintable) {
    const std::string plainAuth = QByteArray("\0user\0test", 10).toBase64().toStdString();
    S server(join({{S::say("220 test.local ESMTP \x1b[2J\x1b]0;owned\x07 ready")},
                   reply("250-test.local\r\n250 AUTH PLAIN"),
                   reply("535 5.7.8 " + plainAuth + " (test) is not test.local's password"),
                   reply("221 bye")}));
    TestSession session(server.port(), TlsMode::None);
    session.useSasl(QStringLiteral("user"), QStringLiteral("test"));
    session.client.connect();
    QString error;
    try {
        session.client.send(testMessage());
    } catch (const SmtpError& e) {
        error = e.message();
    }
    session.client.disconnect();
    EXPECT_EQ(error, "5.7.8 **** (****) is not test.local's password");
    EXPECT_TRUE(session.log.contains("S: 220 test.local ESMTP \\x1B[2J\\x1B]0;owned\\x07 ready"))
        << session.log.join('\n').toStdString();
    EXPECT_TRUE(session.log.contains("C: AUTH PLAIN ****"));
    for (const QString& line : session.log)
        EXPECT_FALSE(line.contains(QString::fromStdString(plainAuth))) << line.toStdString();
}

TEST(SmtpSession, RefusalsAfterMailFromAreFollowedByRset) {
    struct Case {
        const char* name;
        std::vector<S::Step> script;
        Lines heard;
        QString message;
        QString command;  // what the error says was refused, with the reply's codes
        int code;
        QString enhanced;
    };
    const std::string mail = "MAIL FROM:<club@club.test>";
    const std::string rcpt1 = "RCPT TO:<first@club.test>";
    const std::string rcpt2 = "RCPT TO:<second@club.test>";
    const std::vector<Case> cases{
        {"sender refused, no RSET",
         reply("553 5.7.1 sender rejected"),
         {mail},
         "5.7.1 sender rejected",
         "MAIL",
         553,
         "5.7.1"},
        {"first of two recipients refused",
         join({reply("250 ok"), reply("550-5.1.1 <first@club.test>:\r\n550 5.1.1 no such user"), reply("250 reset")}),
         {mail, rcpt1, "RSET"},
         "5.1.1 <first@club.test>:\r\n5.1.1 no such user",
         "RCPT",
         550,
         "5.1.1"},
        {"DATA refused",
         join({reply("250 ok"), reply("250 ok"), reply("250 ok"), reply("554 no data"), reply("250")}),
         {mail, rcpt1, rcpt2, "DATA", "RSET"},
         "no data",
         "DATA",
         554,
         ""},
        {"message refused",
         join({reply("250 ok"),
               reply("250 ok"),
               reply("250 ok"),
               reply("354 go"),
               {S::hearData(), S::say("552 5.3.4 too big")},
               reply("250")}),
         {mail, rcpt1, rcpt2, "DATA", "From: club@club.test", "Subject: hello", "", "body", ".", "RSET"},
         "5.3.4 too big",
         ".",
         552,
         "5.3.4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        S server(join({kGreeting, kEhloPlain, c.script}));
        TestSession session(server.port());
        session.client.connect();
        const SmtpError error =
            sendError(session, testMessage({QStringLiteral("first@club.test"), QStringLiteral("second@club.test")}));
        EXPECT_EQ(error.message(), c.message);
        EXPECT_EQ(error.stage(), SmtpStage::Sending);
        EXPECT_EQ(error.command(), c.command);
        EXPECT_EQ(error.replyCode(), c.code);
        EXPECT_EQ(error.enhancedCode(), c.enhanced);
        session.client.release();
        Lines expected{ehloLine()};
        expected.insert(expected.end(), c.heard.begin(), c.heard.end());
        EXPECT_EQ(server.transcript(), expected);
    }
}

TEST(SmtpSession, EnhancedStatusCodeIsTakenOnlyWhereItMatchesTheReply) {
    struct Case {
        int code;
        QByteArray firstLine;
        QString enhanced;
    };
    for (const Case& c :
         {Case{550, "5.1.1 <a@b.c>: no such user", "5.1.1"}, Case{556, "5.1.10 null MX", "5.1.10"},
          Case{550, "5.1.1", "5.1.1"}, Case{450, "4.2.0\ttry later", "4.2.0"}, Case{550, "4.1.1 wrong class", ""},
          Case{550, "5.1.1x no", ""}, Case{550, "5.1234.1 no", ""}, Case{550, "no such user", ""}, Case{550, "", ""}}) {
        SmtpReply reply;
        reply.code = c.code;
        reply.lines << c.firstLine << "5.9.9 a later line counts for nothing";
        EXPECT_EQ(reply.enhancedCode(), c.enhanced) << c.firstLine.toStdString();
    }
    EXPECT_EQ(SmtpReply{}.enhancedCode(), QString());
}

TEST(SmtpSession, SilentOrVanishingServerFailsInTheRightStageNamingTheServer) {
    struct Case {
        const char* name;
        TlsMode mode;
        std::vector<S::Step> script;
        SmtpStage stage;
        QString message;  // %1: the server's port
    };
    const QString readTimeout =
        QStringLiteral("Read timed out: the server 127.0.0.1:%1 did not answer within 0.3 seconds.");
    const std::vector<Case> cases{
        {"no greeting",
         TlsMode::None,
         {S::awaitClose()},
         SmtpStage::Connecting,
         readTimeout + QStringLiteral("\r\nA server that expects TLS from the first byte sends no greeting: if this is "
                                      "one, set IdSMTP_UseTLS to utUseImplicitTLS.")},
        {"EHLO unanswered", TlsMode::None, join({kGreeting, {S::hear(), S::awaitClose()}}), SmtpStage::Connecting,
         readTimeout},
        {"implicit TLS handshake unanswered",
         TlsMode::Implicit,
         {S::awaitClose()},
         SmtpStage::Connecting,
         "TLS handshake timed out: the server 127.0.0.1:%1 did not answer within 0.3 seconds."},
        {"MAIL FROM unanswered", TlsMode::None, join({kGreeting, kEhloPlain, {S::hear(), S::awaitClose()}}),
         SmtpStage::Sending, readTimeout},
        {"STARTTLS handshake unanswered", TlsMode::Explicit,
         join({kGreeting, reply("250-smtp.club.test\r\n250 STARTTLS"), reply("220 go ahead"), {S::awaitClose()}}),
         SmtpStage::Sending, "TLS handshake timed out: the server 127.0.0.1:%1 did not answer within 0.3 seconds."},
        {"closed after MAIL FROM", TlsMode::None, join({kGreeting, kEhloPlain, {S::hear(), S::close()}}),
         SmtpStage::Sending, "Connection Closed Gracefully."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        S server(c.script);
        TestSession session(server.port(), c.mode, 300);
        SmtpError error({});
        try {
            session.client.connect();
            session.client.send(testMessage());
            ADD_FAILURE() << "no failure";
        } catch (const SmtpError& raised) {
            error = raised;
        }
        EXPECT_EQ(error.stage(), c.stage);
        EXPECT_EQ(error.message(), c.message.contains("%1") ? c.message.arg(server.port()) : c.message);
        EXPECT_FALSE(session.client.isConnected());
        session.client.disconnect();
        server.transcript();
    }
}

TEST(SmtpSession, TheReplyToTheEndOfDataHasItsOwnLongerTimeOut) {
    const auto session = [](const std::vector<S::Step>& afterData) {
        return join(
            {kGreeting, kEhloPlain, reply("250 ok"), reply("250 ok"), reply("354 go"), {S::hearData()}, afterData});
    };
    // A server that scans the message for longer than a usual reply may take: still accepted.
    {
        S server(session({S::pause(1000), S::say("250 2.0.0 queued after a long scan"), S::hear(), S::say("221 bye")}));
        TestSession slow(server.port(), TlsMode::None, 200);
        slow.client.connect();
        EXPECT_NO_THROW(slow.client.send(testMessage()));
        slow.client.disconnect();
        server.transcript();
    }
    // A server that never answers it fails the send once that time-out runs out.
    {
        S server(session({S::awaitClose()}));
        TestSession silent(server.port(), TlsMode::None, 10000);
        silent.client.setTimeouts({10000, 10000, 10000, 300});
        silent.client.connect();
        const SmtpError error = sendError(silent);
        EXPECT_EQ(error.stage(), SmtpStage::Sending);
        EXPECT_EQ(error.message(),
                  QStringLiteral("Read timed out: the server 127.0.0.1:%1 did not answer within 0.3 seconds.")
                      .arg(server.port()));
        silent.client.disconnect();
        server.transcript();
    }
    EXPECT_GE(SmtpTimeouts{}.dataEndReplyMs, 10 * 60000);
}

TEST(SmtpSession, LineBreaksInsideCommandsOrLinesAreRefusedBeforeAnythingIsWritten) {
    const std::vector<ComposedMessage> messages{
        {QStringLiteral("club@club.test\r\nRCPT TO:<x@evil.test>"), {QStringLiteral("a@club.test")}, {"x"}},
        {QStringLiteral("club@club.test"), {QStringLiteral("a@club.test\nDATA")}, {"x"}},
        {QStringLiteral("club@club.test"), {QStringLiteral("a@club.test")}, {"x", "y\r\n.\r\nMAIL FROM:<e@evil.test>"}},
    };
    for (const ComposedMessage& message : messages) {
        S server(join({kGreeting, kEhloPlain, reply("221 bye")}));
        TestSession session(server.port());
        session.client.connect();
        const SmtpError error = sendError(session, message);
        EXPECT_TRUE(error.message().contains("line break")) << error.what();
        EXPECT_EQ(error.stage(), SmtpStage::Sending);
        session.client.disconnect();
        EXPECT_EQ(server.transcript(), (Lines{ehloLine(), "QUIT"}));
    }
}

TEST(SmtpSession, ThePortSwitch) {
    struct Case {
        quint16 portBefore;
        TlsMode from;
        TlsMode to;
        quint16 portAfter;
    };
    for (const Case& c :
         {Case{25, TlsMode::Explicit, TlsMode::Implicit, 465}, Case{465, TlsMode::Implicit, TlsMode::None, 25},
          Case{587, TlsMode::Explicit, TlsMode::Implicit, 587}, Case{465, TlsMode::Explicit, TlsMode::Required, 465},
          Case{25, TlsMode::Implicit, TlsMode::Implicit, 25}}) {
        SmtpClient client;
        client.setTlsMode(c.from);
        client.setPort(c.portBefore);
        client.setTlsMode(c.to);
        EXPECT_EQ(client.port(), c.portAfter);
    }
    EXPECT_EQ(SmtpClient().tlsMode(), TlsMode::Explicit);
    EXPECT_EQ(SmtpClient().port(), 25);

    S server(join({kGreeting, kEhloPlain, reply("221 bye")}));
    TestSession session(server.port());
    session.client.connect();
    try {
        session.client.setTlsMode(TlsMode::Implicit);
        ADD_FAILURE() << "mode changed while connected";
    } catch (const SmtpError& error) {
        EXPECT_EQ(error.message(), "This value can not be set while the client is connected.");
    }
    EXPECT_EQ(session.client.tlsMode(), TlsMode::None);
    session.client.disconnect();
    server.transcript();
}
