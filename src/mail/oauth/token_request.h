#pragma once
// One request to an OAuth 2.0 endpoint (RFC 6749 section 5, RFC 8628 section 3.2) and what
// its answer says: the JSON object of a success, or the error code of a refusal.
#include "mail/oauth/oauth_config.h"

#include <QJsonObject>
#include <QString>
#include <QUrlQuery>

namespace velocast::mail {

struct EndpointAnswer {
    QJsonObject object;   // the answer's JSON object (a success when `error` is empty)
    QString error;        // "invalid_grant", "authorization_pending", ...
    QString description;  // error_description, when the endpoint gives one
};

// Posts `form` (client_id and client_secret added) to `endpoint`. An answer that is an OAuth
// error comes back as one; anything else that is not a success throws TokenError: Unreachable
// for no answer, a time-out or the endpoint's own failure (5xx), Refused otherwise.
EndpointAnswer askEndpoint(const OAuthConfig& config, const QString& endpoint, QUrlQuery form);

struct IssuedToken {
    QString accessToken;
    QString refreshToken;  // empty when the endpoint kept the old one
    qint64 expiresIn = 0;  // seconds
};

// The token of a success answer; throws TokenError (Refused) for one that holds no bearer token.
IssuedToken issuedToken(const EndpointAnswer& answer, const QString& endpoint);

// "invalid_grant: description" for messages.
QString describeRefusal(const EndpointAnswer& answer);

}  // namespace velocast::mail
