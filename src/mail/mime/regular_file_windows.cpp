#include "mail/mime/regular_file.h"

#include "mail/mime/read_within_limit.h"

#include <QDir>
#include <QFile>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/system_error_text.h"

namespace velocast::mail {

namespace {

std::wstring nativePath(const QString& path) { return QDir::toNativeSeparators(path).toStdWString(); }

}  // namespace

std::optional<QByteArray> readRegularFile(const QString& path, QString* why, ReadLimits limits) {
    // Opening a reparse point itself (not what it points to) lets the type check below refuse
    // a link; the checks are made on the handle, so nothing can be swapped in between.
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (limits.followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE handle = CreateFileW(nativePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *why = systemErrorText(GetLastError());
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool regular = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
                         (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    if (!regular) {
        *why = QStringLiteral("Not a regular file");
        CloseHandle(handle);
        return std::nullopt;
    }
    const qint64 size = (static_cast<qint64>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (limits.maxSize >= 0 && size > limits.maxSize) {
        *why = QStringLiteral("Larger than %1 bytes").arg(limits.maxSize);
        CloseHandle(handle);
        return std::nullopt;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        *why = QStringLiteral("The file cannot be opened");
        CloseHandle(handle);
        return std::nullopt;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *why = file.errorString();
        _close(fd);
        return std::nullopt;
    }
    return readWithinLimit(file, why, limits);
}

std::optional<QString> resolvedPath(const QString& path, QString* why) {
    HANDLE handle = CreateFileW(nativePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *why = systemErrorText(GetLastError());
        return std::nullopt;
    }
    wchar_t buffer[32768];
    const DWORD length =
        GetFinalPathNameByHandleW(handle, buffer, sizeof buffer / sizeof buffer[0], FILE_NAME_NORMALIZED);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    if (length == 0 || length >= sizeof buffer / sizeof buffer[0]) {
        *why = systemErrorText(error);
        return std::nullopt;
    }
    QString result = QString::fromWCharArray(buffer, static_cast<qsizetype>(length));
    // The final path comes in its long form (\\?\C:\...); callers compare it with folders
    // written the usual way.
    if (result.startsWith(QLatin1String("\\\\?\\UNC\\"))) result = QStringLiteral("\\\\") + result.mid(8);
    else if (result.startsWith(QLatin1String("\\\\?\\"))) result = result.mid(4);
    return QDir::fromNativeSeparators(result);
}

}  // namespace velocast::mail
