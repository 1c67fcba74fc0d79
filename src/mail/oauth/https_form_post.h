#pragma once
// One HTTPS POST of a form, as the OAuth 2.0 endpoints take their requests, waited for as a
// call: the caller sees no event loop run meanwhile (the request runs on a thread of its own),
// so no timer or menu of the program can step into a half-done outbox row.
#include <QByteArray>
#include <QString>
#include <QUrlQuery>

namespace velocast::mail {

struct HttpsReply {
    bool reached = false;      // an HTTP answer came (whatever its status)
    bool trustFailed = false;  // the TLS handshake failed: the certificate is not trusted
    int status = 0;
    QByteArray body;
    QString error;  // what went wrong when not reached
};

// Certificates are checked against the system's trust store plus caFile (PEM) when given.
// No redirect is followed. timeoutMs bounds the whole request.
HttpsReply postForm(const QString& url, const QUrlQuery& form, const QString& caFile, int timeoutMs);

}  // namespace velocast::mail
