#pragma once
// The [tls] section of velocast.conf as the SMTP client's trust policy.
#include "mail/smtp/tls_policy.h"
#include "settings/settings.h"

#include <optional>

namespace velocast {

// Nothing, and `error` set to one line naming the file and the key, when a pin is not written
// as --test-smtp prints it, verify = pin lists no pin, or ca_file names no readable file.
std::optional<mail::TlsPolicy> tlsPolicyFromSettings(const Settings& settings, QString* error);

}  // namespace velocast
