#include "mail/smtp/smtp_tls_mode.h"

#include <array>
#include <utility>

namespace velocast::mail {

namespace {

constexpr std::array<std::pair<TlsMode, const char*>, 4> kNames{{
    {TlsMode::Explicit, "utUseExplicitTLS"},
    {TlsMode::None, "utNoTLSSupport"},
    {TlsMode::Implicit, "utUseImplicitTLS"},
    {TlsMode::Required, "utUseRequireTLS"},
}};

}  // namespace

QString tlsModeSettingName(TlsMode mode) {
    for (const auto& [candidate, text] : kNames)
        if (candidate == mode) return QLatin1String(text);
    return {};
}

}  // namespace velocast::mail
