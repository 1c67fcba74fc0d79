#include "mail/mime/transfer_encodings.h"

namespace velocast::mail {

QList<QByteArray> quotedPrintableLines(const QList<QByteArray>& lines) {
    constexpr int kSoftBreakAt = 70;
    QList<QByteArray> out;
    for (const QByteArray& line : lines) {
        QByteArray current;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const char c = line[i];
            const bool last = i + 1 == line.size();
            const bool literal = (c >= '!' && c <= '~' && c != '=') || ((c == ' ' || c == '\t') && !last);
            if (c == '.' && current.isEmpty()) current += "=2E";
            else if (literal) current += c;
            else
                current += '=' + QByteArray::number(static_cast<unsigned char>(c), 16).toUpper().rightJustified(2, '0');
            if (current.size() >= kSoftBreakAt) {
                out.append(current + '=');
                current.clear();
            }
        }
        out.append(current);
    }
    return out;
}

QList<QByteArray> base64Lines(const QByteArray& data) {
    constexpr int kChunk = 57;
    QList<QByteArray> out;
    for (qsizetype i = 0; i < data.size(); i += kChunk) out.append(data.mid(i, kChunk).toBase64());
    return out;
}

}  // namespace velocast::mail
