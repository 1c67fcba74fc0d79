#include "mail/mime/regular_file.h"

#include "mail/mime/read_within_limit.h"

#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velocast::mail {

std::optional<QByteArray> readRegularFile(const QString& path, QString* why, ReadLimits limits) {
    // O_NONBLOCK: opening a FIFO then returns at once instead of waiting for a writer; the
    // type is checked on what was opened, so nothing can be swapped in between.
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (limits.followLinks ? 0 : O_NOFOLLOW);
    const int fd = ::open(QFile::encodeName(path).constData(), flags);
    if (fd < 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *why = QStringLiteral("Not a regular file");
        ::close(fd);
        return std::nullopt;
    }
    if (limits.maxSize >= 0 && status.st_size > limits.maxSize) {
        *why = QStringLiteral("Larger than %1 bytes").arg(limits.maxSize);
        ::close(fd);
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *why = file.errorString();
        ::close(fd);
        return std::nullopt;
    }
    return readWithinLimit(file, why, limits);
}

std::optional<QString> resolvedPath(const QString& path, QString* why) {
    char* resolved = ::realpath(QFile::encodeName(path).constData(), nullptr);
    if (!resolved) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    const QString result = QFile::decodeName(resolved);
    std::free(resolved);
    return result;
}

}  // namespace velocast::mail
