#pragma once
// The [oauth] section of velocast.conf as the mail side's OAuth configuration, and where the
// tokens of the club's mailbox are kept.
#include "mail/oauth/oauth_config.h"
#include "mail/oauth/token_service.h"

#include <QString>
#include <memory>
#include <optional>

namespace velocast {

struct Settings;

// Nothing without an [oauth] provider (the account signs in with its password). With one,
// the configuration with the provider's preset applied; when it cannot be used, nothing and
// `error` names the file and the key to change.
std::optional<mail::OAuthConfig> oauthSettings(const Settings& settings, QString* error);

// The token file of the database the data-link file names, in the account's state folder:
// one per club, so two clubs on one machine keep their own sign-in. Throws mail::TokenError
// when the folder cannot be had or the data-link file not read.
QString oauthTokenFilePath(const QString& dataLinkPath);

// The token service of that club's mailbox.
std::unique_ptr<mail::TokenService> makeTokenService(const mail::OAuthConfig& config, const QString& dataLinkPath);

}  // namespace velocast
