// SMTP AUTH as the session runs it against a scripted peer: which mechanisms are tried, in
// what order, and the failure texts.
#include "mail/smtp/sasl_authenticator.h"
#include "support/smtp_scripted_server.h"
#include "smtp_test_session.h"

#include <QRegularExpression>
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
    for (const auto& part : auth) all.insert(all.end(), part.begin(), part.end());
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

// Without TLS the mechanisms that never show the password go first, a warning says the
// protection is weak, and a refusal is followed only by a mechanism as strong: a hostile
// server cannot refuse its way down to PLAIN. (Over TLS the fixed order and the fallback
// through every mechanism hold: the aiosmtpd tests show PLAIN then LOGIN.)
TEST(SaslExchange, WithoutTlsChallengeResponseGoesFirstAndNothingWeakerFollowsARefusal) {
    EXPECT_EQ(saslCandidates({"CRAM-MD5", "LOGIN", "CRAM-SHA1", "OTP", "PLAIN", "SKEY", "DIGEST-MD5"}, false),
              QStringList({"DIGEST-MD5", "CRAM-SHA1", "CRAM-MD5", "SKEY", "OTP", "PLAIN", "LOGIN"}));
    const Outcome o = authenticate(authScript("250 AUTH LOGIN PLAIN CRAM-SHA1 CRAM-MD5",
                                              {reply("334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+"),
                                               reply("535 5.7.8 CRAM-SHA1 refused"),
                                               reply("334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+"),
                                               reply("535 5.7.8 CRAM-MD5 refused")}),
                                   QStringLiteral("tim"), QStringLiteral("tanstaaftanstaaf"));
    EXPECT_EQ(o.error,
              "5.7.8 CRAM-SHA1 refused\r\nPLAIN, LOGIN not tried: without TLS a refused mechanism is not "
              "followed by one that protects the password less.");
    ASSERT_EQ(o.heard.size(), 4u);
    EXPECT_EQ(o.heard[0], "AUTH CRAM-SHA1");
    EXPECT_EQ(o.heard[2], "AUTH CRAM-MD5");
    EXPECT_EQ(o.heard[3], b64("tim b913a602c7eda7a495b4e6e7334d3890"));
    const QStringList warnings = o.log.filter(QRegularExpression("^! "));
    ASSERT_EQ(warnings.size(), 1) << o.log.join('\n').toStdString();
    EXPECT_TRUE(
        warnings[0].startsWith("! signing in to 127.0.0.1 with CRAM-SHA1 over a connection without TLS: the "
                               "password's protection is weak"))
        << warnings[0].toStdString();
    EXPECT_TRUE(o.log.filter("tanstaaf").isEmpty());
}

TEST(SaslExchange, OldAuthEqualsFormWithLoginOnly) {
    const Outcome o = authenticate(
        authScript("250-AUTH=LOGIN\r\n250 SIZE 1000",
                   {reply("334 VXNlcm5hbWU6"), reply("334 UGFzc3dvcmQ6"), reply("235 ok"), reply("550 stop here")}),
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
        {"empty user, only name-bound mechanisms",
         "250 AUTH PLAIN LOGIN OTP CRAM-SHA1",
         {},
         "The specified SASL handlers are not ready!!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome o = authenticate(authScript(c.capabilities, {}), c.user, QStringLiteral("pw"));
        EXPECT_EQ(o.error, c.error);
        EXPECT_TRUE(o.heard.empty());
    }
    // An empty user name skips PLAIN but still runs CRAM-MD5, with the empty name.
    const Outcome o = authenticate(authScript("250 AUTH PLAIN CRAM-MD5", {reply("334 PGFAYj4="), reply("535 no")}), {},
                                   QStringLiteral("pw"));
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
        Lines answers;                           // decoded client lines after the AUTH line
    };
    const auto challenge = [](const QByteArray& text) { return "334 " + b64(text); };
    const std::vector<Case> cases{
        {"PLAIN", {{S::say("235 ok")}}, {}},
        {"LOGIN", {{S::say(challenge("Password:"))}, reply("235 ok")}, {"This is a test."}},
        {"CRAM-SHA1", {{S::say(challenge("<1.2@club.test>"))}, reply("235 ok")}, {}},
        {"OTP", {{S::say(challenge("otp-md5 499 ke1234 ext"))}, reply("235 ok")}, {"word:BOND FOGY DRAB NE RISE MART"}},
        {"SKEY", {{S::say(challenge("99 test"))}, reply("235 ok")}, {"NOTE OUT IBIS SINK NAVE MODE"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mechanism);
        std::vector<S::Step> script{S::say("220 ready")};
        const std::vector<std::vector<S::Step>> rest = {
            reply("250-smtp.club.test\r\n250 AUTH " + std::string(c.mechanism)), {S::hear()}};
        for (const auto& part : rest) script.insert(script.end(), part.begin(), part.end());
        for (const auto& part : c.auth) script.insert(script.end(), part.begin(), part.end());
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
    }
}

// DIGEST-MD5 against a server that cannot prove it knows the password (the right rspauth is
// checked against the RFC example in the mechanism's own test): a wrong rspauth cancels, a
// success without one is no success. Neither goes on to MAIL FROM.
TEST(SaslExchange, DigestMd5NeedsTheServersProof) {
    const auto challenge = [](const QByteArray& text) { return "334 " + b64(text); };
    const std::string digest =
        challenge(R"(realm="club.test",nonce="abc",qop="auth",charset=utf-8,algorithm=md5-sess)");
    struct Case {
        const char* name;
        std::vector<std::vector<S::Step>> after;  // after the digest response
        QString error;
    };
    for (const Case& c : std::vector<Case>{
             {"wrong rspauth",
              {reply(challenge("rspauth=0123")), reply("501 cancelled")},
              "DIGEST-MD5: the server's rspauth does not match the password; it may not be the club's server, so the "
              "exchange was cancelled."},
             {"235 without rspauth",
              {reply("235 welcome")},
              "DIGEST-MD5: the server announced success without its rspauth, so it did not prove that it knows the "
              "password; nothing was sent."}}) {
        SCOPED_TRACE(c.name);
        std::vector<S::Step> script = authScript("250 AUTH DIGEST-MD5", {{S::hear(), S::say(digest)}});
        for (const auto& part : c.after) script.insert(script.end(), part.begin(), part.end());
        const Outcome o = authenticate(script, QStringLiteral("tim"), QStringLiteral("secret"));
        EXPECT_EQ(o.error, c.error);
        for (const std::string& line : o.heard) EXPECT_EQ(line.rfind("MAIL", 0), std::string::npos);
        EXPECT_EQ(o.heard.back() == "*", std::string(c.name) == "wrong rspauth");
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
