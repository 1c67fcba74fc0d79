#include "platform/account_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <windows.h>

namespace velocast {

// A folder under the account's profile is closed to other users by the profile's own
// permissions, which new files inherit: nothing to tighten here, only to check.
bool ensurePrivateFolder(const QString& path, QString* error) {
    const QString shown = QDir::toNativeSeparators(path);
    if (!QDir().mkpath(path)) {
        *error = QStringLiteral("the folder %1 cannot be created; check the permissions of its parent").arg(shown);
        return false;
    }
    if (!QFileInfo(path).isDir() || QFileInfo(path).isSymLink()) {
        *error = QStringLiteral("%1 is not a folder").arg(shown);
        return false;
    }
    return true;
}

QString accountStateDirectory(QString* error) {
    QString base = qEnvironmentVariable("LOCALAPPDATA");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        *error = QStringLiteral(
            "the variable LOCALAPPDATA names no folder; log on to a Windows account with a profile, "
            "or set [state] database in velocast.conf");
        return QString();
    }
    const QString folder = QDir(QDir::fromNativeSeparators(base)).filePath(QStringLiteral("Velocast"));
    if (!ensurePrivateFolder(folder, error)) return QString();
    return folder;
}

bool makePrivateFile(const QString& path, bool* notPrivate) {
    *notPrivate = false;
    // The file takes the permissions of the folder it is created in: under the account's
    // profile, closed to other users.
    HANDLE handle =
        CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

}  // namespace velocast
