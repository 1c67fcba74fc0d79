#include "mail/sasl/sasl_mechanism.h"

namespace velocast::mail {

QByteArray saslBytes(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) bytes.append(c.unicode() <= 0xff ? static_cast<char>(c.unicode()) : '?');
    return bytes;
}

}  // namespace velocast::mail
