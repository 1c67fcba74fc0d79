#pragma once
// The standard 2048-word dictionary shared by S/KEY and OTP for the six-word form of a
// 64-bit one-time password (11 bits per word).
#include <array>

namespace velocast::mail {

extern const std::array<const char*, 2048> kOtpDictionary;

}  // namespace velocast::mail
