#pragma once
// Whether OpenSSL runs in FIPS mode; then the MD5-based SASL mechanisms must not start.

namespace velocast::mail {

bool fipsModeEnabled();

}  // namespace velocast::mail
