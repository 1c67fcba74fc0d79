#pragma once
// What a command printed to a temporary stream (std::tmpfile), read back as UTF-8 text.
#include <QByteArray>
#include <QString>
#include <cstdio>

namespace velocast::testing {

// Reads `f` from its start and closes it.
inline QString readAllAndClose(std::FILE* f) {
    std::rewind(f);
    QByteArray bytes;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, f)) bytes.append(buffer, qsizetype(n));
    std::fclose(f);
    return QString::fromUtf8(bytes);
}

}  // namespace velocast::testing
