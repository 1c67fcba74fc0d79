#include "data/lock_file.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "data/db_error.h"

namespace velocast {

int lockFileExclusively(const QString& path, const QByteArray& description, QByteArray* holderText) {
    const QByteArray native = QFile::encodeName(path);
    // Readable by all: another account that shares the database (a desktop user beside the
    // service) must be able to ask for the lock, and the file says nothing secret.
    int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    const bool writable = fd >= 0;
    if (fd < 0 && errno == EACCES) fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw DbError(
            QStringLiteral(
                "the lock file %1 cannot be opened: %2; the database's folder must be writable by this account")
                .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // The file is never removed: a copy waiting on the old file would otherwise lock
        // another one than the next copy.
        if (writable && (::ftruncate(fd, 0) != 0 ||
                         ::pwrite(fd, description.constData(), size_t(description.size()), 0) != description.size())) {
            // Only the holder's description is lost; the lock itself holds.
        }
        return fd;
    }
    const int why = errno;
    char buffer[512];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
    ::close(fd);
    if (why != EWOULDBLOCK)
        throw DbError(QStringLiteral("the lock file %1 cannot be locked: %2")
                          .arg(path, QString::fromLocal8Bit(std::strerror(why))));
    *holderText = QByteArray(buffer, n > 0 ? int(n) : 0);
    return -1;
}

void unlockFile(int handle) { ::close(handle); }

}  // namespace velocast
