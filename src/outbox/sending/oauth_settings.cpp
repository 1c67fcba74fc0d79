#include "outbox/sending/oauth_settings.h"

#include "data/club_identity.h"
#include "mail/oauth/token_error.h"
#include "settings/settings.h"
#include "platform/account_folders.h"
#include "platform/identity_digest.h"

#include <QDir>
#include <QFile>

namespace velocast {

std::optional<mail::OAuthConfig> oauthSettings(const Settings& settings, QString* error) {
    error->clear();
    mail::OAuthConfig config;
    const Settings::OAuth& oauth = settings.oauth;
    config.provider = oauth.provider;
    if (config.provider.isEmpty()) return std::nullopt;
    config.tenant = oauth.tenant;
    config.clientId = oauth.clientId;
    config.clientSecret = oauth.clientSecret;
    const QString& secretFile = oauth.clientSecretFile;
    if (!secretFile.isEmpty()) {
        // Kept apart so that velocast.conf itself may stay readable to the club's staff.
        QFile file(secretFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: [oauth] client_secret_file %2 cannot be read: %3")
                         .arg(QDir::toNativeSeparators(settings.file), secretFile, file.errorString());
            return std::nullopt;
        }
        config.clientSecret = QString::fromUtf8(file.readAll()).trimmed();
    }
    config.grant = oauth.grant == QLatin1String("client_credentials") ? mail::OAuthConfig::Grant::ClientCredentials
                                                                      : mail::OAuthConfig::Grant::RefreshToken;
    config.scope = oauth.scope;
    config.tokenEndpoint = oauth.tokenEndpoint;
    config.deviceEndpoint = oauth.deviceEndpoint;
    config.caFile = oauth.caFile;
    const bool ownScope = !config.scope.isEmpty();
    mail::applyProviderPreset(config);
    // The same sign-in reads the club's mailbox: the preset scope gains IMAP's where the
    // provider keeps it apart (Google's covers both; an application's ".default" has what
    // was granted to it).
    if (!ownScope && config.provider == QLatin1String("microsoft") &&
        config.grant == mail::OAuthConfig::Grant::RefreshToken && !settings.mailbox.host.isEmpty())
        config.scope += QStringLiteral(" https://outlook.office.com/IMAP.AccessAsUser.All");
    if (const QString problem = mail::oauthConfigProblem(config); !problem.isEmpty()) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(settings.file), problem);
        return std::nullopt;
    }
    return config;
}

QString oauthTokenFilePath(const QString& dataLinkPath) {
    const ClubIdentity club = clubIdentity(dataLinkPath);
    if (!club.readable()) throw mail::TokenError(mail::TokenError::Kind::Refused, QString(), club.error);
    QString error;
    const QString folder = accountStateDirectory(&error);
    if (folder.isEmpty())
        throw mail::TokenError(mail::TokenError::Kind::Refused, QString(),
                               QStringLiteral("the OAuth tokens have no place to be kept: %1").arg(error));
    return QDir(folder).filePath(QStringLiteral("smtp-oauth-%1.json").arg(identityDigest(club.text, 16)));
}

std::unique_ptr<mail::TokenService> makeTokenService(const mail::OAuthConfig& config, const QString& dataLinkPath) {
    return std::make_unique<mail::TokenService>(config, [dataLinkPath] { return oauthTokenFilePath(dataLinkPath); });
}

}  // namespace velocast
