#include "platform/account_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velocast {

bool ensurePrivateFolder(const QString& path, QString* error) {
    const QString shown = QDir::toNativeSeparators(path);
    if (!QDir().mkpath(path)) {
        *error = QStringLiteral("the folder %1 cannot be created; check the permissions of its parent").arg(shown);
        return false;
    }
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = QStringLiteral("%1 is not a folder").arg(shown);
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        *error =
            QStringLiteral("the folder %1 belongs to another user; remove it or give it to this account").arg(shown);
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0) {
        *error = QStringLiteral("the folder %1 cannot be made private (mode 0700)").arg(shown);
        return false;
    }
    return true;
}

QString accountStateDirectory(QString* error) {
    QString folder;
    // systemd's StateDirectory= hands the service its folder(s), separated by colons.
    const QString service = qEnvironmentVariable("STATE_DIRECTORY");
    if (!service.isEmpty()) {
        folder = service.section(QLatin1Char(':'), 0, 0);
    } else {
        const QString xdg = qEnvironmentVariable("XDG_STATE_HOME");
        const QString base =
            !xdg.isEmpty() && QDir::isAbsolutePath(xdg) ? xdg : QDir::home().filePath(QStringLiteral(".local/state"));
        folder = QDir(base).filePath(QStringLiteral("velocast"));
    }
    if (!ensurePrivateFolder(folder, error)) return QString();
    return folder;
}

bool makePrivateFile(const QString& path, bool* notPrivate) {
    *notPrivate = false;
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat st {};
    const bool ok =
        ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && ((st.st_mode & 077) == 0 || ::fchmod(fd, 0600) == 0);
    ::close(fd);
    *notPrivate = !ok;
    return ok;
}

}  // namespace velocast
