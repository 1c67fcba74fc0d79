#pragma once
// The one-time password mechanisms: OTP (RFC 2444 over RFC 2289) and SKEY (RFC 2222 over
// RFC 1760). Both derive the one-time password from the configured password as pass phrase.
#include "mail/sasl/sasl_mechanism.h"

namespace velocast::mail {

class SaslOtp : public SaslMechanism {
public:
    QByteArray name() const override { return "OTP"; }
    bool isReady(const SaslCredentials& c, bool) const override { return !c.userName.isEmpty(); }
    // Empty authorization identity, NUL, user name (RFC 2444 section 4).
    std::optional<QByteArray> initialResponse(const SaslCredentials& c) const override;
    // "otp-<md4|md5|sha1> <count> <seed> [ext]": the six words, "word:"-prefixed when the
    // server asked for extended responses. An unknown hash cancels.
    std::optional<QByteArray> answer(int step, const QByteArray& challenge, const SaslCredentials& c) override;
};

class SaslSkey : public SaslMechanism {
public:
    QByteArray name() const override { return "SKEY"; }
    bool isReady(const SaslCredentials&, bool fipsMode) const override { return !fipsMode; }
    std::optional<QByteArray> initialResponse(const SaslCredentials& c) const override {
        return saslBytes(c.userName);
    }
    // "<count> <seed>": the six words of the MD4 one-time password.
    std::optional<QByteArray> answer(int step, const QByteArray& challenge, const SaslCredentials& c) override;
};

}  // namespace velocast::mail
