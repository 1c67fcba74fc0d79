// The session against aiosmtpd, a real SMTP server, over real TLS with certificates from a
// test authority: STARTTLS and implicit TLS, AUTH PLAIN and LOGIN, a plain session, and what
// the client trusts.
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
    return {QStringLiteral("club@club.test"),
            {QStringLiteral("member@club.test")},
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
        {"explicit: STARTTLS, second EHLO, PLAIN",
         AiosmtpdPeer::Mode::StartTls,
         TlsMode::Explicit,
         true,
         {},
         true,
         "AUTH PLAIN club@club.test ok"},
        {"required: STARTTLS, LOGIN",
         AiosmtpdPeer::Mode::StartTls,
         TlsMode::Required,
         true,
         {"PLAIN"},
         true,
         "AUTH LOGIN club@club.test ok"},
        {"implicit: TLS from the first byte, PLAIN",
         AiosmtpdPeer::Mode::Implicit,
         TlsMode::Implicit,
         true,
         {},
         true,
         "AUTH PLAIN club@club.test ok"},
        {"none: plain text, no AUTH", AiosmtpdPeer::Mode::StartTls, TlsMode::None, false, {}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AiosmtpdPeer peer(c.server, kUser, kPassword, c.excluded);
        TestSession session(peer.port(), c.mode);
        if (c.sasl) session.useSasl(kUser, kPassword);
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
        if (c.tls) {
            EXPECT_TRUE(
                session.log.contains("* server certificate verified: issued for 127.0.0.1 by a trusted authority"))
                << session.log.join('\n').toStdString();
        }
        if (c.mode == TlsMode::Explicit || c.mode == TlsMode::Required) {
            // STARTTLS, handshake, a second EHLO, and AUTH only from the list offered after TLS.
            const QStringList sent = session.log.filter(QRegularExpression("^(C: (EHLO|STARTTLS|AUTH)|\\* TLS)"));
            ASSERT_EQ(sent.size(), 5) << session.log.join('\n').toStdString();
            EXPECT_TRUE(sent[0].startsWith("C: EHLO"));
            EXPECT_EQ(sent[1], "C: STARTTLS");
            EXPECT_TRUE(sent[2].startsWith("* TLS started (TLSv1.3"));
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
            EXPECT_EQ(started[0].endsWith(QLatin1String(", session resumed)")), connection > 0)
                << started[0].toStdString();
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

// What the client trusts: the host name (or IP literal) under the test authority, a pinned
// key, verification switched off, and TLS 1.0 only with legacy = yes. A refused server never
// hears AUTH, and the error says why and how to pin.
TEST(SmtpTlsPeer, TrustsOnlyAVerifiedOrPinnedServer) {
    const QString wrongPin = QStringLiteral("sha256/") + QString::fromLatin1(QByteArray(32, 'x').toBase64());
    struct Case {
        const char* name;
        QStringList certificate;
        AiosmtpdPeer::Mode server;
        QString host;
        std::function<void(TlsPolicy&)> policy;
        QString refusal;  // empty: accepted; else the start of the text after the first line
    };
    // A pinned server's pin comes from a first, refused, connection to it: what --test-smtp shows.
    QString observedPin;
    const std::vector<Case> cases{
        {"right name, authority trusted through ca_file",
         {"localhost"},
         AiosmtpdPeer::Mode::Implicit,
         "localhost",
         [](TlsPolicy&) {},
         {}},
        {"authority not trusted",
         {"localhost"},
         AiosmtpdPeer::Mode::Implicit,
         "localhost",
         [](TlsPolicy& p) { p.caFile.clear(); },
         "The server's certificate was refused: certificate issued by CN=Velocast Test CA, which is not a trusted "
         "authority."},
        {"wrong name",
         {"wrong.example"},
         AiosmtpdPeer::Mode::Implicit,
         "localhost",
         [](TlsPolicy&) {},
         "The server's certificate was refused: certificate for wrong.example, not localhost. If this is the club's "
         "own server, check it with velocast --test-smtp ADDRESS and add the \"pin = sha256/...\" line"},
        {"wrong name, pinned",
         {"wrong.example"},
         AiosmtpdPeer::Mode::Implicit,
         "localhost",
         [&](TlsPolicy& p) {
             p.verify = TlsVerification::Pin, p.pins = {wrongPin, observedPin};
         },
         {}},
        {"wrong name, verify = off",
         {"wrong.example"},
         AiosmtpdPeer::Mode::Implicit,
         "localhost",
         [](TlsPolicy& p) { p.verify = TlsVerification::Off; },
         {}},
        {"right name but verify = pin with another key",
         {"localhost"},
         AiosmtpdPeer::Mode::Implicit,
         "localhost",
         [&](TlsPolicy& p) { p.verify = TlsVerification::Pin, p.pins = {wrongPin}; },
         "The server's certificate was refused: its key is not one of the [tls] pin keys (verify = pin)."},
        {"IP literal the certificate does not name",
         {"localhost"},
         AiosmtpdPeer::Mode::Implicit,
         "127.0.0.1",
         [](TlsPolicy&) {},
         "The server's certificate was refused: certificate for localhost, not 127.0.0.1."},
        {"TLS 1.0 only",
         {"localhost"},
         AiosmtpdPeer::Mode::ImplicitTls1Only,
         "localhost",
         [](TlsPolicy&) {},
         "legacy = yes"},
        {"TLS 1.0 only, legacy = yes",
         {"localhost"},
         AiosmtpdPeer::Mode::ImplicitTls1Only,
         "localhost",
         [](TlsPolicy& p) { p.legacy = true; },
         {}},
        {"wrong name after STARTTLS",
         {"wrong.example"},
         AiosmtpdPeer::Mode::StartTls,
         "localhost",
         [](TlsPolicy&) {},
         "The server's certificate was refused: certificate for wrong.example, not localhost."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AiosmtpdPeer peer(c.server, kUser, kPassword, {}, {}, c.certificate);
        if (c.policy && std::string(c.name).find("pinned") != std::string::npos) {
            TestSession first(peer.port(), TlsMode::Implicit);
            first.client.setHost(c.host);
            EXPECT_THROW(first.client.connect(), SmtpError);
            observedPin = first.client.tlsPeerReport().pin;
        }
        TestSession session(peer.port(),
                            c.server == AiosmtpdPeer::Mode::StartTls ? TlsMode::Required : TlsMode::Implicit);
        session.client.setHost(c.host);
        TlsPolicy policy = testTlsPolicy();
        c.policy(policy);
        session.client.setTlsPolicy(policy);
        session.useSasl(kUser, kPassword);
        QString error;
        try {
            session.client.connect();
            session.client.send(peerMessage());
            session.client.disconnect();
        } catch (const SmtpError& e) {
            error = e.message();
            session.client.release();
        }
        const std::string log = session.log.join('\n').toStdString();
        if (c.refusal.isEmpty()) {
            EXPECT_EQ(error, QString()) << log;
            EXPECT_EQ(peer.nextEvent(), "AUTH PLAIN club@club.test ok");
            EXPECT_TRUE(peer.nextMessage()["tls"].toBool());
            if (policy.legacy) {
                EXPECT_EQ(session.log.filter("* TLS started (TLSv1,").size(), 1) << log;
            }
        } else {
            const QStringList lines = error.split(QStringLiteral("\r\n"));
            ASSERT_EQ(lines.size(), 2) << error.toStdString();
            EXPECT_EQ(lines[0], c.server == AiosmtpdPeer::Mode::StartTls ? "SSL negotiation failed."
                                                                         : "Error connecting with SSL.");
            EXPECT_TRUE(lines[1].startsWith(c.refusal) || (c.refusal == "legacy = yes" && lines[1].contains(c.refusal)))
                << lines[1].toStdString();
            EXPECT_TRUE(session.log.filter(QRegularExpression("^C: (AUTH|MAIL)")).isEmpty()) << log;
        }
        if (c.server != AiosmtpdPeer::Mode::ImplicitTls1Only) {
            EXPECT_EQ(session.client.tlsPeerReport().chain.size(), 1);
            EXPECT_TRUE(isWellFormedPin(session.client.tlsPeerReport().pin)) << log;
        }
    }
}
