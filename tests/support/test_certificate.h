#pragma once
// Throw-away certificates for the TLS peers: one test authority per test program, and server
// certificates (EC P-256) it issues for the names asked, written as PEM files into a
// temporary folder that disappears with the object. The client trusts the authority the way
// a club would trust its own: through the policy's CA file (velocast.conf's [tls] ca_file).
#include "mail/smtp/tls_policy.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace velocast::mail::testing {

// The authority's certificate (PEM); made at the first call, kept for the test program's run.
QString testCaPath();
// Verify as in production, with the test authority trusted.
TlsPolicy testTlsPolicy();
// "[tls]" with ca_file naming the test authority, and `extraLines` after it, written to `path`
// (a velocast.conf for the real program).
void writeSettingsTrustingTestCa(const QString& path, const QString& extraLines = {});

class TestCertificate {
public:
    // Names that read as IP addresses become IP entries of the subject alternative names.
    explicit TestCertificate(const QStringList& names = {QStringLiteral("localhost"), QStringLiteral("127.0.0.1")});
    QString certificatePath() const { return dir_.filePath(QStringLiteral("cert.pem")); }
    QString keyPath() const { return dir_.filePath(QStringLiteral("key.pem")); }

private:
    QTemporaryDir dir_;
};

}  // namespace velocast::mail::testing
