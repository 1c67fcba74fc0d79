#include "mail/mime/windows1252.h"

#include "mail/mime/plain_unicode.h"

#include <QByteArray>
#include <QList>
#include <cstring>
#include <stdexcept>
#include <string>
#include <windows.h>

namespace velocast::mail {
namespace {

// The Windows code page for each character set name the mail code uses (its iconv name).
UINT codePageOf(const char* charset) {
    static const struct {
        const char* name;
        UINT codePage;
    } kCodePages[] = {
        {"WINDOWS-1250", 1250}, {"WINDOWS-1251", 1251}, {"WINDOWS-1252", 1252}, {"WINDOWS-1253", 1253},
        {"WINDOWS-1254", 1254}, {"WINDOWS-1255", 1255}, {"WINDOWS-1256", 1256}, {"WINDOWS-1257", 1257},
        {"WINDOWS-1258", 1258}, {"ISO-8859-1", 28591},  {"ISO-8859-2", 28592},  {"ISO-8859-5", 28595},
        {"ISO-8859-7", 28597},  {"ISO-8859-9", 28599},  {"ISO-8859-15", 28605}, {"KOI8-R", 20866},
        {"KOI8-U", 21866},      {"GB2312", 936},        {"GBK", 936},           {"BIG5", 950},
        {"EUC-KR", 51949},      {"EUC-JP", 51932},      {"SHIFT_JIS", 932},     {"ISO-2022-JP", 50220},
        {"TIS-620", 874},       {"US-ASCII", 20127},
    };
    for (const auto& entry : kCodePages)
        if (_stricmp(entry.name, charset) == 0) return entry.codePage;
    throw std::runtime_error(std::string("no Windows code page converts to ") + charset);
}

}  // namespace

QByteArray systemToCharset(const QString& text, const char* charset) {
    const UINT codePage = codePageOf(charset);
    // The whole text in one call, so that a stateful set (ISO-2022-JP) shifts only where the
    // text changes script and ends in its initial state. A character the set cannot hold
    // becomes "?" rather than a look-alike. The ISO-2022 code pages take neither flag nor
    // the "was it replaced" pointer.
    const bool iso2022 = codePage >= 50220 && codePage <= 50229;
    const DWORD flags = iso2022 ? 0 : WC_NO_BEST_FIT_CHARS;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.utf16());
    const int wideLength = static_cast<int>(text.size());
    const char* replacement = iso2022 ? nullptr : "?";
    const int size = WideCharToMultiByte(codePage, flags, wide, wideLength, nullptr, 0, replacement, nullptr);
    if (size <= 0) throw std::runtime_error(std::string("Windows cannot convert text to ") + charset);
    QByteArray out(size, Qt::Uninitialized);
    WideCharToMultiByte(codePage, flags, wide, wideLength, out.data(), size, replacement, nullptr);
    return out;
}

}  // namespace velocast::mail
