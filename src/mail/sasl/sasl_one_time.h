#pragma once
// The one-time password mechanisms: OTP (RFC 2444 over RFC 2289) and SKEY (RFC 2222 over
// RFC 1760). Both derive the one-time password from the configured password as pass phrase.
#include "mail/sasl/sasl_mechanism.h"

namespace velocast::mail {

// Each iteration is one hash, and the count comes from the server: a hostile one asking for
// two billion would hold the program for hours. Real sequences start at a few hundred.
constexpr int kMaxOneTimeCount = 9999;

// What both mechanisms share: the server's count, read and capped.
class SaslOneTimeMechanism : public SaslMechanism {
public:
    QString problem() const override { return problem_; }

protected:
    // The count as a number from 0 to kMaxOneTimeCount; nothing (and the problem set) otherwise.
    std::optional<int> readCount(const QByteArray& text);

private:
    QString problem_;
};

class SaslOtp : public SaslOneTimeMechanism {
public:
    QByteArray name() const override { return "OTP"; }
    bool isReady(const SaslCredentials& c, bool) const override { return !c.userName.isEmpty(); }
    // Empty authorization identity, NUL, user name (RFC 2444 section 4).
    std::optional<QByteArray> initialResponse(const SaslCredentials& c) const override;
    // "otp-<md4|md5|sha1> <count> <seed> [ext]": the six words, "word:"-prefixed when the
    // server asked for extended responses. An unknown hash cancels.
    std::optional<QByteArray> answer(int step, const QByteArray& challenge, const SaslCredentials& c) override;
};

class SaslSkey : public SaslOneTimeMechanism {
public:
    QByteArray name() const override { return "SKEY"; }
    bool isReady(const SaslCredentials&, bool fipsMode) const override { return !fipsMode; }
    std::optional<QByteArray> initialResponse(const SaslCredentials& c) const override { return saslBytes(c.userName); }
    // "<count> <seed>": the six words of the MD4 one-time password.
    std::optional<QByteArray> answer(int step, const QByteArray& challenge, const SaslCredentials& c) override;
};

}  // namespace velocast::mail
