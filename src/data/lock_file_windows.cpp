#include "data/lock_file.h"

#include <QDir>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "data/db_error.h"
#include "platform/system_error_text.h"

namespace velocast {

namespace {

// Windows' byte-range locks are mandatory: a lock on the holder's text would keep the copies
// that stand aside from reading it. The lock covers one byte far past the end instead.
constexpr DWORD kLockedOffset = 0x40000000;

}  // namespace

int lockFileExclusively(const QString& path, const QByteArray& description, QByteArray* holderText) {
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    HANDLE file = CreateFileW(native.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool writable = file != INVALID_HANDLE_VALUE;
    if (!writable && GetLastError() == ERROR_ACCESS_DENIED)
        file = CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw DbError(
            QStringLiteral(
                "the lock file %1 cannot be opened: %2; the database's folder must be writable by this account")
                .arg(path, systemErrorText(GetLastError())));
    OVERLAPPED at{};
    at.Offset = kLockedOffset;
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        DWORD written = 0;
        if (writable) {
            SetFilePointer(file, 0, nullptr, FILE_BEGIN);
            SetEndOfFile(file);
            // Only the holder's description is lost when this fails; the lock itself holds.
            WriteFile(file, description.constData(), DWORD(description.size()), &written, nullptr);
        }
        const int handle = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY);
        if (handle < 0) {
            CloseHandle(file);
            throw DbError(QStringLiteral("the lock file %1 cannot be kept open").arg(path));
        }
        return handle;
    }
    const DWORD why = GetLastError();
    char buffer[512];
    DWORD n = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) n = 0;
    CloseHandle(file);
    if (why != ERROR_LOCK_VIOLATION && why != ERROR_IO_PENDING)
        throw DbError(QStringLiteral("the lock file %1 cannot be locked: %2").arg(path, systemErrorText(why)));
    *holderText = QByteArray(buffer, int(n));
    return -1;
}

// Closing the file drops the lock, as it does when the process ends.
void unlockFile(int handle) { _close(handle); }

}  // namespace velocast
