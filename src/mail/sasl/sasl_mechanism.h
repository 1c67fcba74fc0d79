#pragma once
// One SASL mechanism as the SMTP AUTH exchange drives it: whether it may start, what goes on
// the AUTH line, and the answer to each 334 challenge (all as raw bytes; the exchange does
// the base64).
#include <QByteArray>
#include <QString>
#include <optional>

namespace velocast::mail {

struct SaslCredentials {
    QString userName;
    QString password;
};

// Text as the mechanisms send it: one byte per character, "?" for anything above U+00FF.
QByteArray saslBytes(const QString& text);

class SaslMechanism {
public:
    virtual ~SaslMechanism() = default;
    virtual QByteArray name() const = 0;
    // fipsMode: OpenSSL runs in FIPS mode, where the MD5-based mechanisms must not start.
    virtual bool isReady(const SaslCredentials& credentials, bool fipsMode) const = 0;
    // Sent base64-encoded on the AUTH line; nothing for mechanisms that wait for a challenge.
    virtual std::optional<QByteArray> initialResponse(const SaslCredentials&) const { return std::nullopt; }
    // The answer to the step-th challenge (0 = the first); nothing cancels the exchange.
    virtual std::optional<QByteArray> answer(int step, const QByteArray& challenge,
                                             const SaslCredentials& credentials) = 0;
    // Why the mechanism cancelled the exchange, or why a success the server announces cannot
    // be trusted (it did not prove that it knows the password); empty when nothing is wrong.
    virtual QString problem() const { return {}; }
};

}  // namespace velocast::mail
