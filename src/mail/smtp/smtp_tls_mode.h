#pragma once
// The four ways a session can use TLS, and the names the club writes for them in its settings
// (the client's advice names the value to write).
#include <QString>

namespace velocast::mail {

enum class TlsMode {
    None,      // "utNoTLSSupport": plain text throughout
    Implicit,  // "utUseImplicitTLS": TLS from the first byte (port 465)
    Required,  // "utUseRequireTLS": STARTTLS before authentication, or the send fails
    Explicit,  // "utUseExplicitTLS": STARTTLS before authentication when the server offers it
};

QString tlsModeSettingName(TlsMode mode);

}  // namespace velocast::mail
