#pragma once
// SMTP AUTH with an OAuth 2.0 access token. Only the bearer mechanisms are tried: an account
// signed in through OAuth has no password to offer, and a provider that turned passwords off
// would only count the attempt against it.
#include "mail/smtp/sasl_authenticator.h"

#include <QString>
#include <functional>

namespace velocast::mail {

struct BearerSignIn {
    QString userName;  // the mailbox
    // The access token to offer; renew is true after the server refused the last one. May
    // throw (the token endpoint's own errors): the exchange passes that on untouched.
    std::function<QString(bool renew)> accessToken;
};

// OAUTHBEARER when the server offers it (the standard one), XOAUTH2 otherwise; empty when it
// offers neither.
QString bearerMechanismFor(const QStringList& serverMechanisms);

// Signs in and returns the mechanism used. A refused token (a JSON error challenge, or 535) is
// renewed once and offered again; a second refusal raises SmtpError with the server's reply,
// its status and scope. host and port are the server as configured (OAUTHBEARER names them).
QString authenticateBearer(SaslExchange& exchange, const QStringList& capabilities, const BearerSignIn& signIn,
                           const QString& host, quint16 port);

}  // namespace velocast::mail
