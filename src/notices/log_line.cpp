#include "notices/log_line.h"

#include <sys/stat.h>

namespace velocast {

bool writesToJournal(std::FILE* out) {
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    if (stream.isEmpty()) return false;
    struct stat st {};
    if (::fstat(::fileno(out), &st) != 0) return false;
    // A child of the service that inherited the variable but writes elsewhere gets no prefix.
    return stream == QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino));
}

void writeLogLine(LogPriority priority, const QString& line, std::FILE* out) {
    QByteArray bytes;
    if (writesToJournal(out)) bytes = '<' + QByteArray::number(int(priority)) + '>';
    bytes += line.toUtf8();
    bytes += '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fflush(out);
}

}  // namespace velocast
