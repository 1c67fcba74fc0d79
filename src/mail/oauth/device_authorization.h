#pragma once
// The OAuth 2.0 device authorization grant (RFC 8628): the program asks for a code, a person
// enters it at the provider's address on any device with a browser and signs the mailbox in,
// and the program, polling meanwhile, receives the tokens. Nothing on this machine needs a
// browser, so it works over SSH on a server.
#include "mail/oauth/oauth_config.h"
#include "mail/oauth/token_store.h"

#include <QString>
#include <functional>

namespace velocast::mail {

struct DevicePrompt {
    QString verificationUri;
    QString verificationUriComplete;  // with the code in it, when the endpoint gives one
    QString userCode;
    qint64 expiresIn = 0;  // seconds the code stays valid
};

struct DeviceFlowHooks {
    std::function<void(const DevicePrompt&)> showPrompt;
    // Waits `seconds` before the next poll (the command sleeps; a test may not).
    std::function<void(int seconds)> wait;
    // One line about the progress ("still waiting", "asked to slow down").
    std::function<void(const QString&)> progress;
};

// Runs the grant to its end. Returns the tokens to store, or throws TokenError: SignInNeeded
// when the person refused (access_denied) or the code expired (expired_token), Unreachable or
// Refused as for any token request.
StoredTokens authorizeDevice(const OAuthConfig& config, const DeviceFlowHooks& hooks);

}  // namespace velocast::mail
