#include "mail/mime/regular_file.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velocast::mail {

std::optional<QByteArray> readRegularFile(const QString& path, QString* why) {
    // O_NONBLOCK: opening a FIFO then returns at once instead of waiting for a writer; the
    // type is checked on what was opened, so nothing can be swapped in between.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
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
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *why = file.errorString();
        ::close(fd);
        return std::nullopt;
    }
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *why = file.errorString();
        return std::nullopt;
    }
    return data;
}

}  // namespace velocast::mail
