#include "mail/oauth/token_request.h"

#include "mail/oauth/https_form_post.h"
#include "mail/oauth/token_error.h"

#include <QJsonDocument>

namespace velocast::mail {

EndpointAnswer askEndpoint(const OAuthConfig& config, const QString& endpoint, QUrlQuery form) {
    form.addQueryItem(QStringLiteral("client_id"), config.clientId);
    if (!config.clientSecret.isEmpty()) form.addQueryItem(QStringLiteral("client_secret"), config.clientSecret);
    const HttpsReply reply = postForm(endpoint, form, config.caFile, config.timeoutMs);
    if (reply.trustFailed)
        throw TokenError(
            TokenError::Kind::Refused, endpoint,
            QStringLiteral("the OAuth endpoint %1 could not be trusted (%2): check its address, the machine's "
                           "clock, or name its CA certificate in [oauth] ca_file")
                .arg(endpoint, reply.error));
    if (!reply.reached) throw TokenError(TokenError::Kind::Unreachable, endpoint, reply.error);
    if (reply.status >= 500)
        throw TokenError(TokenError::Kind::Unreachable, endpoint, QStringLiteral("HTTP status %1").arg(reply.status));
    const QJsonDocument document = QJsonDocument::fromJson(reply.body);
    EndpointAnswer answer;
    answer.object = document.object();
    answer.error = answer.object.value(QLatin1String("error")).toString();
    answer.description = answer.object.value(QLatin1String("error_description")).toString().simplified();
    if (!document.isObject() || (reply.status != 200 && answer.error.isEmpty()))
        throw TokenError(TokenError::Kind::Refused, endpoint,
                         QStringLiteral("the OAuth endpoint %1 answered HTTP status %2 without an OAuth answer: check "
                                        "[oauth] token_endpoint and device_endpoint")
                             .arg(endpoint)
                             .arg(reply.status));
    return answer;
}

IssuedToken issuedToken(const EndpointAnswer& answer, const QString& endpoint) {
    IssuedToken token;
    token.accessToken = answer.object.value(QLatin1String("access_token")).toString();
    token.refreshToken = answer.object.value(QLatin1String("refresh_token")).toString();
    // Some endpoints write the lifetime as a string; an absent one means an hour, which is
    // what both big providers give.
    const QJsonValue expires = answer.object.value(QLatin1String("expires_in"));
    token.expiresIn = expires.isString() ? expires.toString().toLongLong() : expires.toInteger(3600);
    if (token.expiresIn <= 0) token.expiresIn = 3600;
    const QString type = answer.object.value(QLatin1String("token_type")).toString();
    if (token.accessToken.isEmpty() || type.compare(QLatin1String("bearer"), Qt::CaseInsensitive) != 0)
        throw TokenError(TokenError::Kind::Refused, endpoint,
                         QStringLiteral("the OAuth endpoint %1 gave no bearer access token (token_type \"%2\")")
                             .arg(endpoint, type));
    return token;
}

QString describeRefusal(const EndpointAnswer& answer) {
    return answer.description.isEmpty() ? answer.error : answer.error + QStringLiteral(": ") + answer.description;
}

}  // namespace velocast::mail
