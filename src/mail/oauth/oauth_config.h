#pragma once
// How the club's mailbox gets its OAuth 2.0 access tokens: which provider, which grant, the
// application registered there, and the endpoints. Filled by the caller from its own settings;
// the two big providers' endpoints and scopes come from presets.
#include <QString>

namespace velocast::mail {

struct OAuthConfig {
    enum class Grant { RefreshToken, ClientCredentials };

    QString provider;  // "microsoft", "google" or "custom"
    QString tenant;    // Microsoft: the directory (tenant id or domain)
    Grant grant = Grant::RefreshToken;
    QString clientId;
    QString clientSecret;  // empty for a public client
    QString scope;
    QString tokenEndpoint;
    QString deviceEndpoint;
    QString caFile;  // PEM certificates trusted besides the system's, for the endpoints
    int timeoutMs = 30000;

    QString grantName() const {
        return grant == Grant::ClientCredentials ? QStringLiteral("client_credentials")
                                                 : QStringLiteral("refresh_token");
    }
};

// Fills what the provider's preset knows and the configuration leaves empty: the endpoints of
// the tenant (Microsoft; "organizations" without one) and the scope that lets the grant send
// mail through SMTP.
void applyProviderPreset(OAuthConfig& config);

// Empty when the configuration can be used; otherwise one sentence naming the [oauth] key to
// set or change.
QString oauthConfigProblem(const OAuthConfig& config);

}  // namespace velocast::mail
