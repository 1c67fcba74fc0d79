#include "mail/smtp/tls_policy.h"

#include <QByteArray>

namespace velocast::mail {

bool isWellFormedPin(const QString& pin) {
    if (!pin.startsWith(QLatin1String("sha256/"))) return false;
    const QByteArray encoded = pin.mid(7).toLatin1();
    const auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
    return decoded && decoded.decoded.size() == 32 && decoded.decoded.toBase64() == encoded;
}

}  // namespace velocast::mail
