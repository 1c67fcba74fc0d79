#pragma once
// An exclusive lock on a file that the system drops when the process ends, however it ends.
#include <QByteArray>
#include <QString>

namespace velocast {

// Takes the lock on `path` (created when missing) without waiting. When granted, writes
// `description` into the file where it may, and returns the open file to keep (>= 0) until
// unlockFile. When another process holds it, returns -1 with what that holder wrote in
// `holderText`. Throws DbError naming the file when it cannot be opened or locked.
int lockFileExclusively(const QString& path, const QByteArray& description, QByteArray* holderText);

void unlockFile(int handle);

}  // namespace velocast
