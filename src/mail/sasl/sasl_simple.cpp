#include "mail/sasl/sasl_simple.h"

namespace velocast::mail {

std::optional<QByteArray> SaslPlain::initialResponse(const SaslCredentials& c) const {
    return QByteArray(1, '\0') + saslBytes(c.userName) + QByteArray(1, '\0') + saslBytes(c.password);
}

std::optional<QByteArray> SaslLogin::answer(int, const QByteArray& challenge, const SaslCredentials& c) {
    if (challenge.trimmed().toLower().startsWith("user")) return saslBytes(c.userName);
    return saslBytes(c.password);
}

}  // namespace velocast::mail
