#pragma once
// velocast --test-smtp ADDRESS: sends one short message with the club's stored SMTP account and
// prints the dialogue, so the account can be set up and checked. AUTH payloads are masked.
// With an [oauth] section it signs in with an access token and says which grant and which
// mechanism it used.
// Over TLS it also shows the server's certificate chain, whether it was verified, and the
// line that pins its key, for a club whose server cannot be verified otherwise.
#include "settings/settings.h"

#include <QString>
#include <cstdio>

#include "settings/settings.h"

namespace velocast {

// Returns the exit status: 0 only when the server accepted the message.
int runSmtpTest(const QString& dataLinkPath, const QString& address, const Settings& settings = Settings(),
                std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace velocast
