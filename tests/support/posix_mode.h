#pragma once
// A file's permission bits where the system has them. Windows has none to read: a private
// file there is one under the account's profile, whose permissions the file inherits.
#include <QString>
#include <optional>

namespace velocast::testing {

// The mode bits of `path` (0777 masked), or nothing on Windows. A missing file is a test
// failure.
std::optional<unsigned> posixMode(const QString& path);

}  // namespace velocast::testing
