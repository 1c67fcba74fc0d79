// Messages far larger than the socket's send buffer: the write must wait for the socket to
// take more bytes (never for a reply the server cannot send before the message ends), on a
// plain connection as under STARTTLS, and against a peer that is slow to read.
#include "support/aiosmtpd_peer.h"
#include "support/smtp_scripted_server.h"
#include "smtp_test_session.h"

#include <QCryptographicHash>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace velocast::mail;
using namespace velocast::mail::testing;
using S = ScriptedSmtpServer;

namespace {

const QString kUser = QStringLiteral("club@club.test");
const QString kPassword = QStringLiteral("secret");

// About `bytes` of body as 76-character lines (like a base64 attachment), each line
// different so that a lost or repeated slice shows in the digest.
ComposedMessage largeMessage(qsizetype bytes) {
    ComposedMessage message{kUser,
                            {QStringLiteral("member@club.test")},
                            {"From: club@club.test", "To: member@club.test", "Subject: large", ""}};
    for (qsizetype written = 0, n = 0; written < bytes; written += 78, ++n)
        message.lines << QByteArray::number(n).rightJustified(76, 'A');
    return message;
}

// The DATA stream as the server must see it: every line with its CR LF.
QByteArray wireBody(const ComposedMessage& message) {
    QByteArray body;
    for (const QByteArray& line : message.lines) body += line + "\r\n";
    return body;
}

constexpr qsizetype kEightMegabytes = 8 * 1024 * 1024;

}  // namespace

TEST(SmtpLargeMessage, EightMegabytesReachAiosmtpdPlainAndUnderStartTls) {
    const ComposedMessage message = largeMessage(kEightMegabytes);
    const QByteArray expected = QCryptographicHash::hash(wireBody(message), QCryptographicHash::Sha256);
    for (const TlsMode mode : {TlsMode::None, TlsMode::Required}) {
        SCOPED_TRACE(mode == TlsMode::None ? "plain" : "STARTTLS");
        AiosmtpdPeer peer(AiosmtpdPeer::Mode::StartTls, kUser, kPassword);
        TestSession session(peer.port(), mode);
        try {
            session.client.connect();
            session.client.send(message);
        } catch (const SmtpError& error) {
            ADD_FAILURE() << error.what() << "\n" << session.log.mid(session.log.size() - 5).join('\n').toStdString();
        }
        EXPECT_EQ(session.client.tlsActive(), mode != TlsMode::None);
        session.client.disconnect();

        const QJsonObject received = peer.nextMessage();
        EXPECT_GT(received["size"].toInteger(), kEightMegabytes);
        EXPECT_EQ(received["sha256"].toString().toLatin1(), expected.toHex());
        EXPECT_EQ(received["tls"].toBool(), mode != TlsMode::None);
    }
}

// The peer takes its time before it reads any of the message (the fault itself, not a wait
// for an event): the client's send buffer fills, the write waits until the peer drains it,
// and the message still completes within the time each write may take.
TEST(SmtpLargeMessage, APeerThatReadsSlowlyStillGetsTheWholeMessage) {
    const ComposedMessage message = largeMessage(kEightMegabytes);
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
