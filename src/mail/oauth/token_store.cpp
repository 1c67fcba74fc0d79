#include "mail/oauth/token_store.h"

#include "mail/oauth/token_error.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace velocast::mail {

namespace {

[[noreturn]] void storeFailed(const QString& path, const QString& what) {
    throw TokenError(
        TokenError::Kind::Refused, QString(),
        QStringLiteral("the OAuth token file %1 %2; check the folder's owner and permissions").arg(path, what));
}

}  // namespace

std::optional<StoredTokens> TokenStore::load() const {
    QFile file(path_);
    if (!file.exists()) return std::nullopt;
    if (!file.open(QIODevice::ReadOnly))
        storeFailed(path_, QStringLiteral("cannot be read: %1").arg(file.errorString()));
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject())
        storeFailed(path_, QStringLiteral("is damaged (remove it and run velocast --authorize-smtp again)"));
    const QJsonObject object = document.object();
    StoredTokens tokens;
    tokens.clientId = object.value(QLatin1String("client_id")).toString();
    tokens.tokenEndpoint = object.value(QLatin1String("token_endpoint")).toString();
    tokens.refreshToken = object.value(QLatin1String("refresh_token")).toString();
    tokens.accessToken = object.value(QLatin1String("access_token")).toString();
    tokens.accessExpires = QDateTime::fromString(object.value(QLatin1String("access_expires")).toString(), Qt::ISODate);
    return tokens;
}

void TokenStore::save(const StoredTokens& tokens) const {
    QJsonObject object{{QStringLiteral("client_id"), tokens.clientId},
                       {QStringLiteral("token_endpoint"), tokens.tokenEndpoint},
                       {QStringLiteral("refresh_token"), tokens.refreshToken},
                       {QStringLiteral("access_token"), tokens.accessToken},
                       {QStringLiteral("access_expires"), tokens.accessExpires.toUTC().toString(Qt::ISODate)}};
    QSaveFile file(path_);
    // Private before a byte of the secret is in it, and the new file takes the old one's place
    // only once it is whole.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        storeFailed(path_, QStringLiteral("cannot be written: %1").arg(file.errorString()));
    file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
    if (!file.commit()) storeFailed(path_, QStringLiteral("cannot be written: %1").arg(file.errorString()));
}

}  // namespace velocast::mail
