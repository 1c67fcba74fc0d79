#pragma once
// A C stream a command under test writes to (std::tmpfile()), read back whole and closed.
#include <QByteArray>
#include <QString>
#include <cstdio>

namespace velocast::testing {

inline QString readAndClose(std::FILE* f) {
    std::rewind(f);
    QByteArray bytes;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, f)) bytes.append(buffer, qsizetype(n));
    std::fclose(f);
    return QString::fromUtf8(bytes);
}

}  // namespace velocast::testing
