#pragma once
// The server's certificate as a person needs to see it: the names it is for, one line per
// certificate of the chain, the pin of its key, and why verification refused it.
#include <QString>
#include <QStringList>

using X509 = struct x509_st;

namespace velocast::mail {

// The DNS names and IP addresses of the subject alternative names; the common name when
// there are none.
QStringList certificateNames(X509* certificate);
// "CN=smtp.club.example, issued by CN=Club CA, valid 2026-01-01 to 2027-01-01".
QString describeCertificate(X509* certificate);
// "sha256/" and the base64 of the SHA-256 of its DER SubjectPublicKeyInfo.
QString certificatePin(X509* certificate);
// Why X509_verify_cert refused the server's certificate, in words: "certificate for
// wrong.example, not smtp.club.example", "self-signed certificate", ... `failing` is the
// certificate the error is about.
QString verificationProblem(int error, X509* leaf, X509* failing, const QString& serverName);

}  // namespace velocast::mail
