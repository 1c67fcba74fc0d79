// Messages far larger than the socket's send buffer reach aiosmtpd, a real server, whole: on
// a plain connection and under STARTTLS.
#include "support/aiosmtpd_peer.h"
#include "smtp_test_session.h"

#include <QCryptographicHash>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace velocast::mail;
using namespace velocast::mail::testing;

namespace {

const QString kUser = QStringLiteral("club@club.test");
const QString kPassword = QStringLiteral("secret");
constexpr qsizetype kEightMegabytes = 8 * 1024 * 1024;

// The DATA stream as the server must see it: every line with its CR LF.
QByteArray wireBody(const ComposedMessage& message) {
    QByteArray body;
    for (const QByteArray& line : message.lines) body += line + "\r\n";
    return body;
}

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
