#include "mail/mime/plain_unicode.h"

#include "mail/mime/windows1252.h"

#include <QList>
#include <algorithm>

namespace velocast::mail {

bool isAsciiText(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// UTF-8 as iconv writes it from the text's code points; a lone surrogate, which iconv
// refuses, becomes "?" as any character the set cannot hold.
QByteArray utf8Of(const QString& text) {
    QByteArray out;
    out.reserve(text.size() * 3);
    for (const uint cp : text.toUcs4()) {
        if (cp < 0x80) {
            out.append(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.append(static_cast<char>(0xC0 | (cp >> 6)));
            out.append(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            out.append('?');
        } else if (cp < 0x10000) {
            out.append(static_cast<char>(0xE0 | (cp >> 12)));
            out.append(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.append(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.append(static_cast<char>(0xF0 | (cp >> 18)));
            out.append(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.append(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.append(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

QByteArray toCharset(const QString& text, const char* charset) {
    // Every header charset in use writes ASCII as itself and, for a stateful one, leaves its
    // initial state only for other characters: most header text needs no converter at all,
    // and UTF-8 none either. Each e-mail converts several texts, so this is the usual path.
    if (isAsciiText(text)) return text.toLatin1();
    if (qstrcmp(charset, "UTF-8") == 0) return utf8Of(text);
    return systemToCharset(text, charset);
}

}  // namespace velocast::mail
