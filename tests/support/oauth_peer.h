#pragma once
// tests/support/oauth_peer.py as a real OAuth 2.0 provider on loopback: an HTTPS token
// endpoint and an SMTP server (STARTTLS) that takes its access tokens through XOAUTH2 and
// OAUTHBEARER, both with one self-signed certificate for "localhost".
#include "support/test_certificate.h"

#include <QProcess>
#include <QStringList>

namespace velocast::mail::testing {

class OAuthPeer {
public:
    struct Options {
        QString user;
        QString clientId = QStringLiteral("velocast-test");
        QString clientSecret;
        QStringList excludedMechanisms;
        int interval = 0;      // the device grant's polling interval, seconds
        QString deviceScript;  // the device grant's answers before approval
    };
    explicit OAuthPeer(const Options& options);
    ~OAuthPeer();

    quint16 httpsPort() const { return httpsPort_; }
    quint16 smtpPort() const { return smtpPort_; }
    QString endpoint(const QString& path) const {
        return QStringLiteral("https://localhost:%1/%2").arg(httpsPort_).arg(path);
    }
    QString certificatePath() const { return certificate_.certificatePath(); }

    // Runs one command of the peer's ("refresh rt-0", "expire", "revoke") and returns once it
    // is done.
    void command(const QString& line);
    // The events since the last call, in order.
    QStringList events();

private:
    QStringList readUntil(const QByteArray& ack);

    TestCertificate certificate_;
    QProcess process_;
    quint16 httpsPort_ = 0;
    quint16 smtpPort_ = 0;
    QStringList pending_;  // events read while waiting for an acknowledgement
};

}  // namespace velocast::mail::testing
