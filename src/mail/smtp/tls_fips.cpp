#include "mail/smtp/tls_fips.h"

#include <openssl/evp.h>

namespace velocast::mail {

bool fipsModeEnabled() { return EVP_default_properties_is_fips_enabled(nullptr) != 0; }

}  // namespace velocast::mail
