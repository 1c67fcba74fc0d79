#include "mail/mime/windows1252.h"

#include <QList>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>
#include <string>

namespace velocast::mail {
namespace {

// One iconv descriptor for the lifetime of a conversion.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts `in` completely; returns false (and writes nothing) when it cannot.
    bool convert(const char* in, size_t inSize, QByteArray& out) {
        char buffer[32];
        char* inPtr = const_cast<char*>(in);
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        if (iconv(cd_, &inPtr, &inSize, &outPtr, &outLeft) == static_cast<size_t>(-1))
            return false;
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - outLeft));
        return true;
    }
    // Writes what returns a stateful encoding to its initial state.
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

void appendUtf32le(char32_t cp, char (&bytes)[4]) {
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((cp >> (8 * i)) & 0xFF);
}

}  // namespace

QByteArray toCharset(const QString& text, const char* charset) {
    Iconv conv(charset, "UTF-32LE");
    QByteArray out;
    // One code point at a time, so that an unrepresentable one is replaced on its own.
    for (const uint cp : text.toUcs4()) {
        char bytes[4];
        appendUtf32le(cp, bytes);
        if (!conv.convert(bytes, sizeof bytes, out)) {
            conv.reset(out);
            out.append('?');
        }
    }
    conv.reset(out);
    return out;
}

QByteArray toWindows1252(const QString& text) { return toCharset(text, "WINDOWS-1252"); }

QString fromWindows1252(const QByteArray& bytes) {
    Iconv conv("UTF-32LE", "WINDOWS-1252");
    QString out;
    for (char byte : bytes) {
        QByteArray wide;
        char32_t cp = static_cast<unsigned char>(byte);
        if (conv.convert(&byte, 1, wide) && wide.size() == 4) {
            cp = 0;
            for (int i = 3; i >= 0; --i)
                cp = (cp << 8) | static_cast<unsigned char>(wide[i]);
        }
        out.append(QString::fromUcs4(&cp, 1));
    }
    return out;
}

}  // namespace velocast::mail
