#include "mail/oauth/token_service.h"

#include "mail/oauth/token_error.h"
#include "mail/oauth/token_request.h"

namespace velocast::mail {

namespace {

// A token this close to its end is not offered: it could expire between the fetch and the
// server's check, and a send may take a while.
constexpr qint64 kExpiryMarginSeconds = 300;
constexpr qint64 kOutageSeconds = 60;

const QString kAuthorizeAgain = QStringLiteral(
    "run velocast --authorize-smtp again (with the same --data-link and --config) "
    "to sign the mailbox in");

}  // namespace

TokenService::TokenService(OAuthConfig config, std::function<QString()> storePath)
    : config_(std::move(config)), storePath_(std::move(storePath)) {}

TokenStore& TokenService::store() {
    if (!store_) store_.emplace(storePath_());
    return *store_;
}

bool TokenService::usable(const StoredTokens& tokens) const {
    return !tokens.accessToken.isEmpty() && tokens.accessExpires.isValid() &&
           QDateTime::currentDateTimeUtc().secsTo(tokens.accessExpires) > kExpiryMarginSeconds;
}

QString TokenService::accessToken(bool renew) {
    if (!tokens_) {
        tokens_ = store().load().value_or(StoredTokens{});
        // Tokens issued to another application (client_id changed) are no use to this one.
        if (!tokens_->clientId.isEmpty() && tokens_->clientId != config_.clientId) tokens_ = StoredTokens{};
        if (!renew && usable(*tokens_)) {
            lastSource_ = QStringLiteral("stored");
            return tokens_->accessToken;
        }
    } else if (!renew && usable(*tokens_)) {
        lastSource_ = QStringLiteral("kept");
        return tokens_->accessToken;
    }
    if (outage_ && QDateTime::currentDateTimeUtc() < outageUntil_) throw *outage_;
    outage_.reset();
    try {
        fetch();
    } catch (const TokenError& e) {
        if (e.kind() == TokenError::Kind::Unreachable) {
            outage_ = e;
            outageUntil_ = QDateTime::currentDateTimeUtc().addSecs(kOutageSeconds);
        }
        throw;
    }
    lastSource_ = QStringLiteral("fetched");
    return tokens_->accessToken;
}

void TokenService::fetch() {
    const QString& endpoint = config_.tokenEndpoint;
    QUrlQuery form;
    if (config_.grant == OAuthConfig::Grant::ClientCredentials) {
        form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("client_credentials"));
    } else {
        if (tokens_->refreshToken.isEmpty())
            throw TokenError(TokenError::Kind::SignInNeeded, endpoint,
                             QStringLiteral("no OAuth sign-in is stored for this club's mailbox (%1): %2")
                                 .arg(store().path(), kAuthorizeAgain));
        form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("refresh_token"));
        form.addQueryItem(QStringLiteral("refresh_token"), tokens_->refreshToken);
    }
    if (!config_.scope.isEmpty()) form.addQueryItem(QStringLiteral("scope"), config_.scope);
    const EndpointAnswer answer = askEndpoint(config_, endpoint, form);
    if (answer.error == QLatin1String("invalid_grant") && config_.grant == OAuthConfig::Grant::RefreshToken)
        throw TokenError(
            TokenError::Kind::SignInNeeded, endpoint,
            QStringLiteral("the OAuth token endpoint %1 refused the stored sign-in (%2): it was revoked or has "
                           "expired; %3")
                .arg(endpoint, describeRefusal(answer), kAuthorizeAgain));
    if (!answer.error.isEmpty())
        throw TokenError(
            TokenError::Kind::Refused, endpoint,
            QStringLiteral("the OAuth token endpoint %1 refused the %2 grant (%3): check [oauth] client_id, "
                           "client_secret, tenant and scope in velocast.conf")
                .arg(endpoint, config_.grantName(), describeRefusal(answer)));
    const IssuedToken issued = issuedToken(answer, endpoint);
    tokens_->clientId = config_.clientId;
    tokens_->tokenEndpoint = endpoint;
    tokens_->accessToken = issued.accessToken;
    tokens_->accessExpires = QDateTime::currentDateTimeUtc().addSecs(issued.expiresIn);
    // A rotated refresh token replaces the old one, which the endpoint may already have
    // revoked: losing it would need a person to sign in again.
    if (!issued.refreshToken.isEmpty()) tokens_->refreshToken = issued.refreshToken;
    store().save(*tokens_);
}

}  // namespace velocast::mail
