#include "mail/mime/windows1252.h"

#include <QList>

namespace velocast::mail {
namespace {

// Bytes 0x80 to 0x9F of Windows-1252; 0 where the code page defines no character (0x81,
// 0x8D, 0x8F, 0x90, 0x9D). Every other byte is the code point of the same value.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,       // 88-8F
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,  // 98-9F
};

// The byte for a code point, or -1 when Windows-1252 has none.
int windows1252Byte(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    if (cp > 0xFFFF) return -1;
    for (int i = 0; i < 32; ++i)
        if (kHighControls[i] != 0 && kHighControls[i] == cp) return 0x80 + i;
    return -1;
}

}  // namespace

QByteArray toWindows1252(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (const uint cp : text.toUcs4()) {
        const int byte = windows1252Byte(cp);
        out.append(byte < 0 ? '?' : static_cast<char>(byte));
    }
    return out;
}

QString fromWindows1252(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const char16_t high = byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : 0;
        out.append(QChar(high != 0 ? high : char16_t{byte}));
    }
    return out;
}

}  // namespace velocast::mail
