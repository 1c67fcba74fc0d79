#include "mail/mime/read_within_limit.h"

namespace velocast::mail {

std::optional<QByteArray> readWithinLimit(QFile& file, QString* why, ReadLimits limits) {
    // One byte over the limit is enough to tell a file that grew since it was measured.
    QByteArray data = limits.maxSize >= 0 ? file.read(limits.maxSize + 1) : file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *why = file.errorString();
        return std::nullopt;
    }
    if (limits.maxSize >= 0 && data.size() > limits.maxSize) {
        *why = QStringLiteral("Larger than %1 bytes").arg(limits.maxSize);
        return std::nullopt;
    }
    return data;
}

}  // namespace velocast::mail
