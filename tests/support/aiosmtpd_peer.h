#pragma once
// aiosmtpd (tests/support/aiosmtpd_server.py) as a real SMTP server on loopback, with a
// certificate from the test authority, accepting one user name and password through AUTH
// PLAIN/LOGIN.
#include "support/test_certificate.h"

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

namespace velocast::mail::testing {

class AiosmtpdPeer {
public:
    enum class Mode { StartTls, Implicit, ImplicitTls1Only };
    // refusedRecipients: "address=reply" for each recipient the server refuses. The
    // certificate is for localhost and 127.0.0.1 unless `certificate` says otherwise.
    AiosmtpdPeer(Mode mode, const QString& user, const QString& password, const QStringList& excludedMechanisms = {},
                 const QStringList& refusedRecipients = {},
                 const QStringList& certificateNames = {QStringLiteral("localhost"), QStringLiteral("127.0.0.1")});
    ~AiosmtpdPeer();

    quint16 port() const { return port_; }
    // The next event line the server printed ("AUTH LOGIN user ok", "MESSAGE {...}"), or
    // "!no event" when none came within waitMs (a guard, not a measure).
    QByteArray nextEvent(int waitMs = 20000);
    // The next MESSAGE event as an object (its "data" already base64-decoded); an empty
    // object when none came within waitMs.
    QJsonObject nextMessage(int waitMs = 20000);

private:
    TestCertificate certificate_;
    QProcess process_;
    quint16 port_ = 0;
};

}  // namespace velocast::mail::testing
