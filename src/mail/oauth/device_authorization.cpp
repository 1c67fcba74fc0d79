#include "mail/oauth/device_authorization.h"

#include "mail/oauth/token_error.h"
#include "mail/oauth/token_request.h"

#include <QElapsedTimer>

namespace velocast::mail {

namespace {

qint64 integer(const QJsonValue& value, qint64 otherwise) {
    const qint64 n = value.isString() ? value.toString().toLongLong() : value.toInteger(otherwise);
    return n > 0 ? n : otherwise;
}

}  // namespace

StoredTokens authorizeDevice(const OAuthConfig& config, const DeviceFlowHooks& hooks) {
    QUrlQuery request;
    if (!config.scope.isEmpty()) request.addQueryItem(QStringLiteral("scope"), config.scope);
    const EndpointAnswer start = askEndpoint(config, config.deviceEndpoint, request);
    if (!start.error.isEmpty())
        throw TokenError(
            TokenError::Kind::Refused, config.deviceEndpoint,
            QStringLiteral("the device endpoint %1 refused to start the sign-in (%2): check [oauth] client_id, "
                           "tenant and scope, and that the application allows the device code flow (public client)")
                .arg(config.deviceEndpoint, describeRefusal(start)));
    DevicePrompt prompt;
    prompt.userCode = start.object.value(QLatin1String("user_code")).toString();
    // Google names the address verification_url.
    prompt.verificationUri = start.object.value(QLatin1String("verification_uri")).toString();
    if (prompt.verificationUri.isEmpty())
        prompt.verificationUri = start.object.value(QLatin1String("verification_url")).toString();
    prompt.verificationUriComplete = start.object.value(QLatin1String("verification_uri_complete")).toString();
    prompt.expiresIn = integer(start.object.value(QLatin1String("expires_in")), 600);
    const QString deviceCode = start.object.value(QLatin1String("device_code")).toString();
    if (deviceCode.isEmpty() || prompt.userCode.isEmpty() || prompt.verificationUri.isEmpty())
        throw TokenError(
            TokenError::Kind::Refused, config.deviceEndpoint,
            QStringLiteral("the device endpoint %1 gave no device code, user code or address: check [oauth] "
                           "device_endpoint")
                .arg(config.deviceEndpoint));
    // 5 seconds when the endpoint names no interval (RFC 8628, section 3.2).
    qint64 interval = start.object.contains(QLatin1String("interval"))
                          ? std::max<qint64>(0, start.object.value(QLatin1String("interval")).toInteger(5))
                          : 5;
    hooks.showPrompt(prompt);

    QElapsedTimer clock;
    clock.start();
    QUrlQuery poll;
    poll.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("urn:ietf:params:oauth:grant-type:device_code"));
    poll.addQueryItem(QStringLiteral("device_code"), deviceCode);
    for (;;) {
        if (interval > 0) hooks.wait(static_cast<int>(interval));
        const EndpointAnswer answer = askEndpoint(config, config.tokenEndpoint, poll);
        if (answer.error.isEmpty()) {
            const IssuedToken issued = issuedToken(answer, config.tokenEndpoint);
            if (issued.refreshToken.isEmpty())
                throw TokenError(
                    TokenError::Kind::Refused, config.tokenEndpoint,
                    QStringLiteral("the sign-in succeeded but the endpoint gave no refresh token, so Velocast could "
                                   "not send unattended: add offline_access to [oauth] scope (Microsoft)"));
            return {config.clientId, config.tokenEndpoint, issued.refreshToken, issued.accessToken,
                    QDateTime::currentDateTimeUtc().addSecs(issued.expiresIn)};
        }
        if (answer.error == QLatin1String("authorization_pending")) {
            if (clock.elapsed() / 1000 > prompt.expiresIn)
                throw TokenError(
                    TokenError::Kind::SignInNeeded, config.tokenEndpoint,
                    QStringLiteral(
                        "the code expired before the sign-in was done; run velocast --authorize-smtp again"));
            hooks.progress(QStringLiteral("waiting for the sign-in..."));
        } else if (answer.error == QLatin1String("slow_down")) {
            // Every later poll waits 5 seconds longer (RFC 8628, section 3.5).
            interval += 5;
            hooks.progress(QStringLiteral("the endpoint asked to poll less often: every %1 s now").arg(interval));
        } else if (answer.error == QLatin1String("access_denied")) {
            throw TokenError(TokenError::Kind::SignInNeeded, config.tokenEndpoint,
                             QStringLiteral("the sign-in was refused at the provider (access_denied); run velocast "
                                            "--authorize-smtp again and approve the request"));
        } else if (answer.error == QLatin1String("expired_token")) {
            throw TokenError(
                TokenError::Kind::SignInNeeded, config.tokenEndpoint,
                QStringLiteral("the code expired before the sign-in was done (expired_token); run velocast "
                               "--authorize-smtp again"));
        } else {
            throw TokenError(
                TokenError::Kind::Refused, config.tokenEndpoint,
                QStringLiteral("the token endpoint %1 refused the device sign-in (%2): check [oauth] client_id, "
                               "client_secret and scope")
                    .arg(config.tokenEndpoint, describeRefusal(answer)));
        }
    }
}

}  // namespace velocast::mail
