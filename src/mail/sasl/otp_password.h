#pragma once
// One-time passwords of S/KEY (RFC 1760) and OTP (RFC 2289): the pass phrase hashed with the
// seed, folded to 64 bits and hashed again count times, shown as six words or as hex.
#include <QByteArray>
#include <QString>
#include <optional>

namespace velocast::mail {

enum class OtpHash { Md4, Md5, Sha1 };

// "md4", "md5" or "sha1" as a challenge names them (case-sensitive); nothing otherwise.
std::optional<OtpHash> otpHashFromName(const QString& name);

// The 64-bit one-time password (8 bytes) for seed and pass phrase after count iterations.
// The seed is used as given: OTP callers lower-case it first, S/KEY does not.
QByteArray otpPassword(OtpHash hash, const QByteArray& seed, const QByteArray& passPhrase, int count);

// "ROME MUG FRED SCAN LIVE LACE": 64 bits and a 2-bit checksum, 11 bits per word.
QString otpSixWords(const QByteArray& password);
// "d1854218ebbb0b51".
QString otpHex(const QByteArray& password);

}  // namespace velocast::mail
