#include "mail/mime/windows1252.h"

#include "mail/mime/plain_unicode.h"

#include <QList>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <stdexcept>
#include <string>

namespace velocast::mail {
namespace {

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
        if (iconv(cd_, &inPtr, &inSize, &outPtr, &outLeft) == static_cast<size_t>(-1)) return false;
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

}  // namespace

QByteArray systemToCharset(const QString& text, const char* charset) {
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

}  // namespace velocast::mail
