#pragma once
// The four ways a session can use TLS, and the setting names under which the settings table
// stores them.
#include <QString>
#include <optional>

namespace velocast::mail {

enum class TlsMode {
    None,      // "utNoTLSSupport": plain text throughout
    Implicit,  // "utUseImplicitTLS": TLS from the first byte (port 465)
    Required,  // "utUseRequireTLS": STARTTLS before authentication, or the send fails
    Explicit,  // "utUseExplicitTLS": STARTTLS before authentication when the server offers it
};

// The mode a setting names, compared exactly (letter case and blanks count); nothing for any
// other text.
std::optional<TlsMode> tlsModeFromSettingName(const QString& name);
QString tlsModeSettingName(TlsMode mode);

}  // namespace velocast::mail
