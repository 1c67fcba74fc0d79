#pragma once
// Access tokens for the club's mailbox, without a person: from the refresh token that
// velocast --authorize-smtp stored (keeping the new one when the endpoint rotates it), or
// from the application's own secret (client_credentials). A token is kept, in memory and in
// the token file, until shortly before it expires, so most sends ask the endpoint nothing.
#include "mail/oauth/oauth_config.h"
#include "mail/oauth/token_error.h"
#include "mail/oauth/token_store.h"

#include <QString>
#include <functional>
#include <optional>

namespace velocast::mail {

class TokenService {
public:
    // storePath gives the token file's path, or throws TokenError when there is none; it is
    // asked once, at the first token.
    TokenService(OAuthConfig config, std::function<QString()> storePath);

    const OAuthConfig& config() const { return config_; }

    // A token valid for a while yet; a new one when renew (the server refused the last).
    // Throws TokenError.
    QString accessToken(bool renew = false);
    // How the last token was had, for --test-smtp: "fetched", "kept" (in this run) or "stored".
    const QString& lastSource() const { return lastSource_; }
    // The path of the token file once known.
    QString storePath() const { return store_ ? store_->path() : QString(); }

private:
    TokenStore& store();
    bool usable(const StoredTokens& tokens) const;
    void fetch();

    OAuthConfig config_;
    std::function<QString()> storePath_;
    std::optional<TokenStore> store_;
    std::optional<StoredTokens> tokens_;
    QString lastSource_;
    // The endpoint out of reach, and until when it is not asked again: every row of a drain
    // would otherwise wait out the time-out of its own.
    std::optional<TokenError> outage_;
    QDateTime outageUntil_;
};

}  // namespace velocast::mail
