#pragma once
// CRAM-MD5 (RFC 2195) and CRAM-SHA1: "user hex(HMAC(password, challenge))".
#include "mail/sasl/sasl_mechanism.h"

namespace velocast::mail {

class SaslCram : public SaslMechanism {
public:
    enum class Digest { Md5, Sha1 };
    explicit SaslCram(Digest digest) : digest_(digest) {}

    QByteArray name() const override { return digest_ == Digest::Md5 ? "CRAM-MD5" : "CRAM-SHA1"; }
    // CRAM-MD5 starts even with an empty user name, but not in FIPS mode; CRAM-SHA1 the reverse.
    bool isReady(const SaslCredentials& c, bool fipsMode) const override {
        return digest_ == Digest::Md5 ? !fipsMode : !c.userName.isEmpty();
    }
    std::optional<QByteArray> answer(int step, const QByteArray& challenge, const SaslCredentials& c) override;

private:
    Digest digest_;
};

}  // namespace velocast::mail
