#include "mail/oauth/oauth_config.h"

#include <QUrl>

namespace velocast::mail {

void applyProviderPreset(OAuthConfig& config) {
    const bool appOnly = config.grant == OAuthConfig::Grant::ClientCredentials;
    if (config.provider == QLatin1String("microsoft")) {
        const QString tenant = config.tenant.isEmpty() ? QStringLiteral("organizations") : config.tenant;
        const QString base = QStringLiteral("https://login.microsoftonline.com/%1/oauth2/v2.0/").arg(tenant);
        if (config.tokenEndpoint.isEmpty()) config.tokenEndpoint = base + QLatin1String("token");
        if (config.deviceEndpoint.isEmpty()) config.deviceEndpoint = base + QLatin1String("devicecode");
        // offline_access is what makes the endpoint hand out a refresh token.
        if (config.scope.isEmpty())
            config.scope = appOnly ? QStringLiteral("https://outlook.office365.com/.default")
                                   : QStringLiteral("https://outlook.office.com/SMTP.Send offline_access");
    } else if (config.provider == QLatin1String("google")) {
        if (config.tokenEndpoint.isEmpty())
            config.tokenEndpoint = QStringLiteral("https://oauth2.googleapis.com/token");
        if (config.deviceEndpoint.isEmpty())
            config.deviceEndpoint = QStringLiteral("https://oauth2.googleapis.com/device/code");
        if (config.scope.isEmpty()) config.scope = QStringLiteral("https://mail.google.com/");
    }
}

QString oauthConfigProblem(const OAuthConfig& config) {
    if (config.clientId.isEmpty())
        return QStringLiteral(
            "[oauth] client_id is not set: give the application (client) id registered at the provider");
    if (config.provider == QLatin1String("microsoft") && config.grant == OAuthConfig::Grant::ClientCredentials &&
        (config.tenant.isEmpty() || config.tenant == QLatin1String("organizations") ||
         config.tenant == QLatin1String("common")))
        return QStringLiteral(
            "[oauth] tenant is not set: the client_credentials grant needs the tenant id or domain of the club's "
            "directory");
    if (config.grant == OAuthConfig::Grant::ClientCredentials && config.clientSecret.isEmpty())
        return QStringLiteral(
            "[oauth] client_secret (or client_secret_file) is not set: the client_credentials grant signs in with it");
    if (config.provider == QLatin1String("google") && config.grant == OAuthConfig::Grant::ClientCredentials)
        return QStringLiteral(
            "[oauth] grant = client_credentials: Google gives no such grant for sending mail; use grant = "
            "refresh_token");
    for (const auto& [key, value] :
         {std::pair{"token_endpoint", config.tokenEndpoint}, std::pair{"device_endpoint", config.deviceEndpoint}}) {
        if (value.isEmpty()) {
            if (QLatin1String(key) == QLatin1String("device_endpoint")) continue;  // only --authorize-smtp needs it
            return QStringLiteral("[oauth] %1 is not set: provider = custom needs the endpoint's https:// address")
                .arg(QLatin1String(key));
        }
        const QUrl url(value, QUrl::StrictMode);
        if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty())
            return QStringLiteral("[oauth] %1 \"%2\" is not an https:// address; tokens travel only over TLS")
                .arg(QLatin1String(key), value);
    }
    return QString();
}

}  // namespace velocast::mail
