#include "mail/mime/windows1252.h"

#include <QList>
#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <stdexcept>
#include <string>

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

// One iconv descriptor from UTF-32LE to a character set, opened once and reset before each
// use. Everything runs on one thread; each thread would get its own.
class Converter {
public:
    static Converter& to(const char* charset) {
        thread_local std::map<std::string, Converter> converters;
        auto found = converters.find(charset);
        if (found == converters.end()) found = converters.try_emplace(charset, charset).first;
        return found->second;
    }

    explicit Converter(const char* to) : cd_(iconv_open(to, "UTF-32LE")) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert from UTF-32LE to ") + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts one code point completely; returns false (and writes nothing) when it cannot.
    bool convert(char32_t cp, QByteArray& out) {
        char in[4];
        for (int i = 0; i < 4; ++i) in[i] = static_cast<char>((cp >> (8 * i)) & 0xFF);
        char buffer[32];
        char* inPtr = in;
        size_t inSize = sizeof in;
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        if (iconv(cd_, &inPtr, &inSize, &outPtr, &outLeft) == static_cast<size_t>(-1))
            return false;
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
        return true;
    }
    // Writes what returns a stateful encoding to its initial state (nothing for the others).
    void reset(QByteArray& out) {
        char buffer[32];
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
    }

private:
    iconv_t cd_;
};

bool isAscii(const QString& text) {
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

}  // namespace

QByteArray toCharset(const QString& text, const char* charset) {
    // Every header charset in use writes ASCII as itself and, for a stateful one, leaves its
    // initial state only for other characters: most header text needs no converter at all,
    // and UTF-8 none either. Each e-mail converts several texts, so this is the usual path.
    if (isAscii(text))
        return text.toLatin1();
    if (qstrcmp(charset, "UTF-8") == 0)
        return utf8Of(text);
    Converter& conv = Converter::to(charset);
    QByteArray out;
    // A failed conversion of an earlier text may have left the descriptor mid-state.
    QByteArray discarded;
    conv.reset(discarded);
    // One code point at a time, so that an unrepresentable one is replaced on its own.
    for (const uint cp : text.toUcs4()) {
        if (!conv.convert(cp, out)) {
            conv.reset(out);
            out.append('?');
        }
    }
    conv.reset(out);
    return out;
}

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
