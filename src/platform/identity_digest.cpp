#include "platform/identity_digest.h"

#include <QCryptographicHash>

namespace velocast {

QString identityDigest(const QString& identity, int length) {
    return QString::fromLatin1(
        QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex().left(length));
}

}  // namespace velocast
