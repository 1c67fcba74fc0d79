#pragma once
// The part of reading an attachment that is the same on every system: once a twin has opened
// the file and checked that it is a regular one, its bytes are read up to the size limit.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <optional>

#include "mail/mime/regular_file.h"

namespace velocast::mail {

// The bytes of the open `file`; nullopt with the reason in `why` when it cannot be read, or
// when it is larger than `limits.maxSize`.
std::optional<QByteArray> readWithinLimit(QFile& file, QString* why, ReadLimits limits);

}  // namespace velocast::mail
