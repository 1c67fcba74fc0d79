#pragma once
// Reads the file an outbox row names for attachment. Only a regular file is read: a FIFO
// would block the open (and with it the whole program) until some writer came, and a device
// or a folder is no attachment either.
#include <QByteArray>
#include <QString>
#include <optional>

namespace velocast::mail {

struct ReadLimits {
    qint64 maxSize = -1;      // a larger file is refused; negative: no limit
    bool followLinks = true;  // false: a symbolic link in the last place is refused
};

// The whole content of the regular file at `path`; nullopt with the reason in `why` (the
// system's text, "Not a regular file" or "Larger than N bytes") when it cannot be read.
// Never blocks in open.
std::optional<QByteArray> readRegularFile(const QString& path, QString* why, ReadLimits limits = {});

// The absolute path of `path` with every symbolic link, "." and ".." resolved; nullopt with
// the system's text in `why` when some part of it does not exist or cannot be searched.
std::optional<QString> resolvedPath(const QString& path, QString* why);

}  // namespace velocast::mail
