#pragma once
// A throw-away self-signed certificate (EC P-256, CN "localhost") written as PEM files into
// a temporary folder that disappears with the object.
#include <QString>
#include <QTemporaryDir>

namespace velocast::mail::testing {

class TestCertificate {
public:
    TestCertificate();
    QString certificatePath() const { return dir_.filePath(QStringLiteral("cert.pem")); }
    QString keyPath() const { return dir_.filePath(QStringLiteral("key.pem")); }

private:
    QTemporaryDir dir_;
};

}  // namespace velocast::mail::testing
