// SMTP AUTH as the session runs it against a scripted peer: which mechanisms are tried, in
// what order, and the failure texts.
#include "mail/smtp/sasl_authenticator.h"
#include "support/smtp_scripted_server.h"
#include "smtp_test_session.h"

#include <gtest/gtest.h>

using namespace velocast::mail;
using namespace velocast::mail::testing;
using S = ScriptedSmtpServer;
using Lines = std::vector<std::string>;

namespace {

std::string b64(const QByteArray& bytes) { return bytes.toBase64().toStdString(); }

// Greets, answers EHLO with the given capabilities, then plays the AUTH part.
std::vector<S::Step> authScript(const std::string& capabilities, std::initializer_list<std::vector<S::Step>> auth) {
    std::vector<S::Step> all{S::say("220 ready")};
    for (const auto& part : {reply("250-smtp.club.test\r\n" + capabilities)})
        all.insert(all.end(), part.begin(), part.end());
    for (const auto& part : auth)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct Outcome {
    Lines heard;  // after EHLO
    QString error;
    QStringList log;
};

Outcome authenticate(std::vector<S::Step> script, const QString& user, const QString& password) {
    S server(std::move(script));
    TestSession session(server.port());
    session.useSasl(user, password);
    Outcome outcome;
    try {
        session.client.connect();
        session.client.send(testMessage());
    } catch (const SmtpError& error) {
        outcome.error = error.message();
    }
    session.client.release();
    outcome.heard = server.transcript();
    outcome.heard.erase(outcome.heard.begin());
    outcome.log = session.log;
    return outcome;
}

}  // namespace

TEST(SaslExchange, MechanismsAnnouncedAndTheOrderTried) {
    EXPECT_EQ(serverSaslMechanisms({"SIZE 1000", "AUTH LOGIN PLAIN", "auth=login cram-md5", "AUTHX FOO", "AUTH"}),
              QStringList({"LOGIN", "PLAIN", "CRAM-MD5"}));
    EXPECT_EQ(saslCandidates({"CRAM-MD5", "LOGIN", "XOAUTH2", "CRAM-SHA1", "OTP", "PLAIN", "SKEY", "DIGEST-MD5"}),
              QStringList({"DIGEST-MD5", "SKEY", "PLAIN", "OTP", "LOGIN", "CRAM-SHA1", "CRAM-MD5"}));
}

TEST(SaslExchange, FallsBackThroughPlainLoginCramMd5AndReportsThePlainRejection) {
    const Outcome o = authenticate(
        authScript("250 AUTH LOGIN PLAIN CRAM-MD5",
                   {reply("535 5.7.8 PLAIN refused"), reply("334 UGFzc3dvcmQ6"), reply("535 5.7.8 LOGIN refused"),
                    reply("334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+"),
                    reply("535 5.7.8 CRAM refused")}),
        QStringLiteral("tim"), QStringLiteral("tanstaaftanstaaf"));
    EXPECT_EQ(o.error, "5.7.8 PLAIN refused");
    EXPECT_EQ(o.heard, (Lines{"AUTH PLAIN " + b64(QByteArray("\0tim\0tanstaaftanstaaf", 21)),
                              "AUTH LOGIN " + b64("tim"), b64("tanstaaftanstaaf"), "AUTH CRAM-MD5",
                              b64("tim b913a602c7eda7a495b4e6e7334d3890")}));
    // Only masked payloads in the log; server lines pass, the password never.
    EXPECT_EQ(o.log.filter("C: ").mid(1, 5),
              QStringList({"C: AUTH PLAIN ****", "C: AUTH LOGIN ****", "C: ****", "C: AUTH CRAM-MD5", "C: ****"}));
    EXPECT_TRUE(o.log.filter("tanstaaf").isEmpty());
}

TEST(SaslExchange, OldAuthEqualsFormWithLoginOnly) {
    const Outcome o = authenticate(authScript("250-AUTH=LOGIN\r\n250 SIZE 1000",
                                              {reply("334 VXNlcm5hbWU6"), reply("334 UGFzc3dvcmQ6"), reply("235 ok"),
                                               reply("550 stop here")}),
                                   QStringLiteral("user"), QStringLiteral("pw"));
    EXPECT_EQ(o.heard, (Lines{"AUTH LOGIN " + b64("user"), b64("user"), b64("pw"), "MAIL FROM:<club@club.test>"}));
    EXPECT_EQ(o.error, "stop here");
}

TEST(SaslExchange, NoCommonOrNoReadyMechanism) {
    struct Case {
        const char* name;
        std::string capabilities;
        QString user;
        QString error;
    };
    const std::vector<Case> cases{
        {"no AUTH line", "250 SIZE 1000", QStringLiteral("u"), "Doesn't support AUTH or the specified SASL handlers!!"},
        {"only unknown mechanisms", "250 AUTH XOAUTH2 GSSAPI", QStringLiteral("u"),
         "Doesn't support AUTH or the specified SASL handlers!!"},
        {"empty user, only name-bound mechanisms", "250 AUTH PLAIN LOGIN OTP CRAM-SHA1", {},
         "The specified SASL handlers are not ready!!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = authenticate(authScript(c.capabilities, {}), c.user, QStringLiteral("pw"));
        EXPECT_EQ(o.error, c.error);
        EXPECT_TRUE(o.heard.empty());
    }
    // An empty user name skips PLAIN but still runs CRAM-MD5, with the empty name.
    const Outcome o = authenticate(authScript("250 AUTH PLAIN CRAM-MD5", {reply("334 PGFAYj4="), reply("535 no")}),
                                   {}, QStringLiteral("pw"));
    ASSERT_EQ(o.heard.size(), 2u);
    EXPECT_EQ(o.heard[0], "AUTH CRAM-MD5");
    EXPECT_TRUE(QByteArray::fromBase64(QByteArray::fromStdString(o.heard[1])).startsWith(' '));
    EXPECT_EQ(o.error, "no");
}

TEST(SaslExchange, FipsModeKeepsMd5BasedMechanismsFromStarting) {
    struct NoExchange : SaslExchange {
        SmtpReply command(const QByteArray& line, const QByteArray&) override {
            ADD_FAILURE() << "sent " << line.toStdString();
            return {};
        }
    } exchange;
    try {
        authenticateSasl(exchange, {"AUTH DIGEST-MD5 SKEY CRAM-MD5"}, {"u", "p"}, "smtp.club.test", true);
        ADD_FAILURE() << "authenticated";
    } catch (const SmtpError& error) {
        EXPECT_EQ(error.message(), "The specified SASL handlers are not ready!!");
    }
}

TEST(SaslExchange, ThePasswordNeverReachesAnErrorMessage) {
    const Outcome o = authenticate(authScript("250 AUTH PLAIN", {reply("535 bad password hunter2xyz for u")}),
                                   QStringLiteral("u"), QStringLiteral("hunter2xyz"));
    EXPECT_EQ(o.error, "bad password **** for u");
    EXPECT_TRUE(o.log.filter("hunter2xyz").isEmpty());
}

TEST(SaslExchange, EveryMechanismCompletesASubmission) {
    struct Case {
        const char* mechanism;
        std::vector<std::vector<S::Step>> auth;  // after the AUTH line, up to and including 235
        Lines answers;                            // decoded client lines after the AUTH line
    };
    const auto challenge = [](const QByteArray& text) { return "334 " + b64(text); };
    const std::vector<Case> cases{
        {"PLAIN", {{S::say("235 ok")}}, {}},
        {"LOGIN", {{S::say(challenge("Password:"))}, reply("235 ok")}, {"This is a test."}},
        {"CRAM-SHA1", {{S::say(challenge("<1.2@club.test>"))}, reply("235 ok")}, {}},
        {"OTP", {{S::say(challenge("otp-md5 499 ke1234 ext"))}, reply("235 ok")}, {"word:BOND FOGY DRAB NE RISE MART"}},
        {"SKEY", {{S::say(challenge("99 test"))}, reply("235 ok")}, {"NOTE OUT IBIS SINK NAVE MODE"}},
        {"DIGEST-MD5",
         {{S::say(challenge(R"(realm="club.test",nonce="abc",qop="auth",charset=utf-8,algorithm=md5-sess)"))},
          reply(challenge("rspauth=0123")), reply("235 ok")},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mechanism);
        std::vector<S::Step> script{S::say("220 ready")};
        const std::vector<std::vector<S::Step>> rest = {
            reply("250-smtp.club.test\r\n250 AUTH " + std::string(c.mechanism)), {S::hear()}};
        for (const auto& part : rest)
            script.insert(script.end(), part.begin(), part.end());
        for (const auto& part : c.auth)
            script.insert(script.end(), part.begin(), part.end());
        for (const auto& part : {reply("250 ok"), reply("250 ok"), reply("354 go"),
                                 std::vector<S::Step>{S::hearData(), S::say("250 queued")}})
            script.insert(script.end(), part.begin(), part.end());
        const Outcome o = authenticate(script, QStringLiteral("tim"), QStringLiteral("This is a test."));
        EXPECT_EQ(o.error, QString());
        ASSERT_GE(o.heard.size(), 1u);
        EXPECT_TRUE(QString::fromStdString(o.heard[0]).startsWith(QStringLiteral("AUTH ") + c.mechanism));
        Lines answers;
        for (size_t i = 1; i < o.heard.size() && o.heard[i].rfind("MAIL FROM", 0) != 0; ++i)
            answers.push_back(QByteArray::fromBase64(QByteArray::fromStdString(o.heard[i])).toStdString());
        if (!c.answers.empty()) {
            EXPECT_EQ(answers, c.answers);
        }
        if (std::string(c.mechanism) == "DIGEST-MD5") {
            ASSERT_EQ(answers.size(), 2u);
            EXPECT_NE(answers[0].find(R"(username="tim",realm="club.test",nonce="abc",nc=00000001,cnonce=")"),
                      std::string::npos);
            EXPECT_NE(answers[0].find(R"(digest-uri="smtp/127.0.0.1",response=)"), std::string::npos);
            EXPECT_EQ(answers[1], "");
        }
    }
}

TEST(SaslExchange, AServerThatNeverStopsChallengingIsCancelled) {
    std::initializer_list<std::vector<S::Step>> none{};
    std::vector<S::Step> script = authScript("250 AUTH LOGIN", none);
    for (int i = 0; i < 18; ++i) {  // the AUTH line, 16 answers, then "*": each gets 334 again
        script.push_back(S::hear());
        script.push_back(S::say("334 UGFzc3dvcmQ6"));
    }
    const Outcome o = authenticate(script, QStringLiteral("u"), QStringLiteral("pw"));
    ASSERT_EQ(o.heard.size(), 18u);
    EXPECT_EQ(o.heard.back(), "*");
    EXPECT_EQ(o.error, "UGFzc3dvcmQ6");
}
