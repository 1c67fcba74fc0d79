#pragma once
// The two mechanisms that hand over the password itself: PLAIN (RFC 4616) and LOGIN.
#include "mail/sasl/sasl_mechanism.h"

namespace velocast::mail {

class SaslPlain : public SaslMechanism {
public:
    QByteArray name() const override { return "PLAIN"; }
    bool isReady(const SaslCredentials& c, bool) const override { return !c.userName.isEmpty(); }
    // Empty authorization identity, NUL, user name, NUL, password.
    std::optional<QByteArray> initialResponse(const SaslCredentials& c) const override;
    // A server that ignored the initial response gets the same message again.
    std::optional<QByteArray> answer(int, const QByteArray&, const SaslCredentials& c) override {
        return initialResponse(c);
    }
};

class SaslLogin : public SaslMechanism {
public:
    QByteArray name() const override { return "LOGIN"; }
    bool isReady(const SaslCredentials& c, bool) const override { return !c.userName.isEmpty(); }
    std::optional<QByteArray> initialResponse(const SaslCredentials& c) const override { return saslBytes(c.userName); }
    // The user name was on the AUTH line, so a challenge asks for the password, unless the
    // server ignored that and prompts "Username:" again.
    std::optional<QByteArray> answer(int step, const QByteArray& challenge, const SaslCredentials& c) override;
};

}  // namespace velocast::mail
