#include "outbox/sending/oauth_settings.h"

#include "data/data_link.h"
#include "data/db_error.h"
#include "mail/oauth/token_error.h"
#include "settings/local_settings.h"
#include "platform/account_folders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace velocast {

namespace {
const QString kSection = QStringLiteral("oauth");
}

std::optional<mail::OAuthConfig> oauthSettings(const LocalSettings& settings, QString* error) {
    error->clear();
    mail::OAuthConfig config;
    config.provider = settings.text(kSection, QStringLiteral("provider"));
    if (config.provider.isEmpty()) return std::nullopt;
    config.tenant = settings.text(kSection, QStringLiteral("tenant"));
    config.clientId = settings.text(kSection, QStringLiteral("client_id"));
    config.clientSecret = settings.text(kSection, QStringLiteral("client_secret"));
    const QString secretFile = settings.filePath(kSection, QStringLiteral("client_secret_file"));
    if (!secretFile.isEmpty()) {
        // Kept apart so that velocast.conf itself may stay readable to the club's staff.
        QFile file(secretFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("%1: [oauth] client_secret_file %2 cannot be read: %3")
                         .arg(QDir::toNativeSeparators(settings.path()), secretFile, file.errorString());
            return std::nullopt;
        }
        config.clientSecret = QString::fromUtf8(file.readAll()).trimmed();
    }
    config.grant = settings.text(kSection, QStringLiteral("grant")) == QLatin1String("client_credentials")
                       ? mail::OAuthConfig::Grant::ClientCredentials
                       : mail::OAuthConfig::Grant::RefreshToken;
    config.scope = settings.text(kSection, QStringLiteral("scope"));
    config.tokenEndpoint = settings.text(kSection, QStringLiteral("token_endpoint"));
    config.deviceEndpoint = settings.text(kSection, QStringLiteral("device_endpoint"));
    config.caFile = settings.filePath(kSection, QStringLiteral("ca_file"));
    const bool ownScope = !config.scope.isEmpty();
    mail::applyProviderPreset(config);
    // The same sign-in reads the club's mailbox: the preset scope gains IMAP's where the
    // provider keeps it apart (Google's covers both; an application's ".default" has what
    // was granted to it).
    if (!ownScope && config.provider == QLatin1String("microsoft") &&
        config.grant == mail::OAuthConfig::Grant::RefreshToken &&
        !settings.text(QStringLiteral("mailbox"), QStringLiteral("host")).isEmpty())
        config.scope += QStringLiteral(" https://outlook.office.com/IMAP.AccessAsUser.All");
    if (const QString problem = mail::oauthConfigProblem(config); !problem.isEmpty()) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(settings.path()), problem);
        return std::nullopt;
    }
    return config;
}

QString oauthTokenFilePath(const QString& dataLinkPath) {
    QString identity;
    try {
        identity = readDataLink(dataLinkPath).identity;
    } catch (const DbError& e) {
        throw mail::TokenError(mail::TokenError::Kind::Refused, QString(), e.message());
    }
    QString error;
    const QString folder = accountStateDirectory(&error);
    if (folder.isEmpty())
        throw mail::TokenError(mail::TokenError::Kind::Refused, QString(),
                               QStringLiteral("the OAuth tokens have no place to be kept: %1").arg(error));
    const QByteArray hash = QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QDir(folder).filePath(QStringLiteral("smtp-oauth-%1.json").arg(QString::fromLatin1(hash)));
}

std::unique_ptr<mail::TokenService> makeTokenService(const mail::OAuthConfig& config, const QString& dataLinkPath) {
    return std::make_unique<mail::TokenService>(config, [dataLinkPath] { return oauthTokenFilePath(dataLinkPath); });
}

}  // namespace velocast
