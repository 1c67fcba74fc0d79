// Signing in with an access token, against an exchange that answers from a script: which
// mechanism is taken, the single renewal of a refused token, and what a final refusal says.
#include "mail/smtp/bearer_authenticator.h"
#include "mail/smtp/smtp_error.h"

#include <gtest/gtest.h>
#include <deque>

using namespace velocast::mail;

namespace {

struct ScriptedExchange : SaslExchange {
    std::deque<SmtpReply> replies;
    QList<QByteArray> heard;
    SmtpReply command(const QByteArray& line, const QByteArray&) override {
        heard << line;
        if (replies.empty()) return {554, {"script ended"}};
        SmtpReply reply = replies.front();
        replies.pop_front();
        return reply;
    }
};

SmtpReply reply(int code, const QByteArray& text) { return {code, {text}}; }
const QByteArray kChallenge = QByteArray(R"({"status":"401","scope":"https://mail.google.com/"})").toBase64();

}  // namespace

TEST(BearerExchange, ARefusedTokenIsRenewedOnceAndOnlyForARefusal) {
    struct Case {
        const char* name;
        QStringList capabilities;
        std::vector<SmtpReply> replies;
        QString mechanism;      // empty: the sign-in fails
        QList<bool> tokenAsks;  // the renew flag of each token asked for
        const char* errorHolds;
    };
    const Case cases[] = {
        {"first token taken", {"AUTH XOAUTH2 OAUTHBEARER PLAIN"}, {reply(235, "ok")}, "OAUTHBEARER", {false}, ""},
        {"XOAUTH2 alone (Microsoft)", {"AUTH LOGIN XOAUTH2"}, {reply(235, "ok")}, "XOAUTH2", {false}, ""},
        {"expired token renewed",
         {"AUTH XOAUTH2"},
         {reply(334, kChallenge), reply(535, "5.7.8 Username and Password not accepted"), reply(235, "ok")},
         "XOAUTH2",
         {false, true},
         ""},
        {"refused twice",
         {"AUTH XOAUTH2"},
         {reply(334, kChallenge), reply(535, "5.7.8 not accepted"), reply(334, kChallenge),
          reply(535, "5.7.8 not accepted")},
         "",
         {false, true},
         "5.7.8 not accepted (XOAUTH2: status 401, scope https://mail.google.com/"},
        {"a busy server is no reason for a new token",
         {"AUTH XOAUTH2"},
         {reply(454, "4.7.0 try later")},
         "",
         {false},
         "4.7.0 try later"},
        {"no bearer mechanism offered",
         {"AUTH LOGIN PLAIN"},
         {},
         "",
         {},
         "neither OAUTHBEARER nor XOAUTH2 (AUTH LOGIN PLAIN)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedExchange exchange;
        exchange.replies.assign(c.replies.begin(), c.replies.end());
        QList<bool> asks;
        const BearerSignIn signIn{QStringLiteral("club@club.test"), [&](bool renew) {
                                      asks << renew;
                                      return QStringLiteral("token-%1").arg(asks.size());
                                  }};
        QString used, error;
        try {
            used = authenticateBearer(exchange, c.capabilities, signIn, QStringLiteral("smtp.club.test"), 587);
        } catch (const SmtpError& e) {
            error = e.message();
        }
        EXPECT_EQ(used, c.mechanism);
        EXPECT_EQ(asks, c.tokenAsks);
        EXPECT_TRUE(error.contains(QLatin1String(c.errorHolds))) << error.toStdString();
        for (const QByteArray& line : exchange.heard)
            EXPECT_FALSE(line.startsWith("AUTH PLAIN") || line.startsWith("AUTH LOGIN"));
    }
}
