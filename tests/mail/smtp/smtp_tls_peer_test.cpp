// The session against aiosmtpd, a real SMTP server, over real TLS with a self-signed
// certificate: STARTTLS and implicit TLS, AUTH PLAIN and LOGIN, and a plain session.
#include "support/aiosmtpd_peer.h"
#include "smtp_test_session.h"
#include "mail/smtp/tls_fips.h"

#include <QRegularExpression>

#include <QJsonArray>
#include <gtest/gtest.h>

using namespace velocast::mail;
using namespace velocast::mail::testing;

namespace {

const QString kUser = QStringLiteral("club@club.test");
const QString kPassword = QStringLiteral("p\u00e1ss w0rd");  // sent as one byte per character

ComposedMessage peerMessage() {
    return {QStringLiteral("club@club.test"), {QStringLiteral("member@club.test")},
            {"From: club@club.test", "To: member@club.test", "Subject: hello", "", ".hidden dot", "..", "end"}};
}

// Connects and sends peerMessage(); a failure is reported with the session's dialogue.
void connectAndSend(TestSession& session) {
    try {
        session.client.connect();
        session.client.send(peerMessage());
    } catch (const SmtpError& error) {
        ADD_FAILURE() << error.what() << "\n" << session.log.join('\n').toStdString();
    }
}

}  // namespace

TEST(SmtpTlsPeer, SubmitsInEveryTlsModeWithTheMechanismsOffered) {
    struct Case {
        const char* name;
        AiosmtpdPeer::Mode server;
        TlsMode mode;
        bool sasl;
        QStringList excluded;
        bool tls;
        QByteArray authEvent;
    };
    const std::vector<Case> cases{
        {"explicit: STARTTLS, second EHLO, PLAIN", AiosmtpdPeer::Mode::StartTls, TlsMode::Explicit, true, {}, true,
         "AUTH PLAIN club@club.test ok"},
        {"required: STARTTLS, LOGIN", AiosmtpdPeer::Mode::StartTls, TlsMode::Required, true, {"PLAIN"}, true,
         "AUTH LOGIN club@club.test ok"},
        {"implicit: TLS from the first byte, PLAIN", AiosmtpdPeer::Mode::Implicit, TlsMode::Implicit, true, {}, true,
         "AUTH PLAIN club@club.test ok"},
        {"implicit against a server that only speaks TLS 1.0", AiosmtpdPeer::Mode::ImplicitTls1Only, TlsMode::Implicit,
         true, {}, true, "AUTH PLAIN club@club.test ok"},
        {"none: plain text, no AUTH", AiosmtpdPeer::Mode::StartTls, TlsMode::None, false, {}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AiosmtpdPeer peer(c.server, kUser, kPassword, c.excluded);
        TestSession session(peer.port(), c.mode);
        if (c.sasl)
            session.useSasl(kUser, kPassword);
        connectAndSend(session);
        EXPECT_EQ(session.client.tlsActive(), c.tls);
        session.client.disconnect();

        if (c.sasl) {
            EXPECT_EQ(peer.nextEvent(), c.authEvent);
        }
        const QJsonObject message = peer.nextMessage();
        EXPECT_EQ(message["from"].toString(), "club@club.test");
        EXPECT_EQ(message["to"].toArray().first().toString(), "member@club.test");
        EXPECT_EQ(message["tls"].toBool(), c.tls);
        EXPECT_TRUE(message["data"].toString().endsWith("\r\n.hidden dot\r\n..\r\nend\r\n"))
            << message["data"].toString().toStdString();
        EXPECT_TRUE(session.log.filter(QStringLiteral("p\u00e1ss")).isEmpty());
        if (c.server == AiosmtpdPeer::Mode::ImplicitTls1Only) {
            EXPECT_EQ(session.log.filter("* TLS started (TLSv1,").size(), 1) << session.log.join('\n').toStdString();
        }
        if (c.mode == TlsMode::Explicit || c.mode == TlsMode::Required) {
            // STARTTLS, handshake, a second EHLO, and AUTH only from the list offered after TLS.
            const QStringList sent = session.log.filter(QRegularExpression("^(C: (EHLO|STARTTLS|AUTH)|\\* TLS)"));
            ASSERT_EQ(sent.size(), 5);
            EXPECT_TRUE(sent[0].startsWith("C: EHLO"));
            EXPECT_EQ(sent[1], "C: STARTTLS");
            EXPECT_TRUE(sent[2].startsWith("* TLS started (TLSv1"));
            EXPECT_TRUE(sent[3].startsWith("C: EHLO"));
            EXPECT_EQ(sent[4], "C: AUTH " + QString::fromLatin1(c.authEvent.split(' ')[1]) + " ****");
        }
    }
}

// One message per connection: the second connection to a server resumes the TLS session of
// the first instead of a full handshake, after STARTTLS as with TLS from the first byte.
TEST(SmtpTlsPeer, TheNextConnectionToTheSameServerResumesItsTlsSession) {
    for (const auto& [server, mode] : {std::pair{AiosmtpdPeer::Mode::StartTls, TlsMode::Required},
                                       std::pair{AiosmtpdPeer::Mode::Implicit, TlsMode::Implicit}}) {
        SCOPED_TRACE(static_cast<int>(mode));
        AiosmtpdPeer peer(server, kUser, kPassword);
        for (int connection = 0; connection < 3; ++connection) {
            TestSession session(peer.port(), mode);
            session.useSasl(kUser, kPassword);
            connectAndSend(session);
            session.client.disconnect();
            EXPECT_EQ(peer.nextEvent(), "AUTH PLAIN club@club.test ok");
            EXPECT_TRUE(peer.nextMessage()["tls"].toBool());
            const QStringList started = session.log.filter(QStringLiteral("* TLS started"));
            ASSERT_EQ(started.size(), 1) << session.log.join('\n').toStdString();
            EXPECT_EQ(started[0].endsWith(QLatin1String(", session resumed)")), connection > 0) << started[0].toStdString();
        }
    }
}

TEST(SmtpTlsPeer, WrongPasswordFailsWithTheFirstRejection) {
    AiosmtpdPeer peer(AiosmtpdPeer::Mode::Implicit, kUser, kPassword);
    TestSession session(peer.port(), TlsMode::Implicit);
    session.useSasl(kUser, QStringLiteral("wrong"));
    session.client.connect();
    try {
        session.client.send(peerMessage());
        ADD_FAILURE() << "accepted a wrong password";
    } catch (const SmtpError& error) {
        EXPECT_EQ(error.stage(), SmtpStage::Sending);
        EXPECT_EQ(error.message(), "5.7.8 Authentication credentials invalid");
    }
    session.client.release();
    EXPECT_EQ(peer.nextEvent(), "AUTH PLAIN club@club.test fail");
    EXPECT_EQ(peer.nextEvent(), "AUTH LOGIN club@club.test fail");
}

TEST(SmtpTlsPeer, FipsModeQueryAnswers) {
    // The machines the tests run on are not in FIPS mode; the query must say so, not crash.
    EXPECT_FALSE(fipsModeEnabled());
}
