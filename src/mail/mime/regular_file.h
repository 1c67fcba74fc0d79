#pragma once
// Reads the file an outbox row names for attachment. Only a regular file is read: a FIFO
// would block the open (and with it the whole program) until some writer came, and a device
// or a folder is no attachment either.
#include <QByteArray>
#include <QString>
#include <optional>

namespace velocast::mail {

// The whole content of the regular file at `path`; nullopt with the reason in `why` (the
// system's text, or "Not a regular file") when it cannot be read. Never blocks in open.
std::optional<QByteArray> readRegularFile(const QString& path, QString* why);

}  // namespace velocast::mail
