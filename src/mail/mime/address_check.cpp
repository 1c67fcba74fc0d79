#include "mail/mime/address_check.h"

#include "mail/mime/windows1252.h"

#include <QByteArrayView>
#include <cstdlib>

namespace velocast::mail {

QString trimControlCharacters(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20) ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20) --end;
    return text.mid(begin, end - begin);
}
namespace {

// Punctuation, Latin-1 signs, superscripts, ordinals and the c-cedilla, as Windows-1252 bytes.
constexpr QByteArrayView kForbidden =
    "!#$%&*()+="
    "`,;:<>~^?/|[]{}"
    "\xA8\xA7\xAC\xA2\xA3\xB4\xB0"
    "\xB9\xB2\xB3\xBA\xAA"
    "\xE7\xC7";

// A control character would end up inside SMTP commands and header lines.
bool isControl(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
}

constexpr qsizetype kMaxAddressLength = 254;
constexpr qsizetype kMaxLocalPartLength = 64;

}  // namespace

bool ValidaEMail(const QString& address) {
    // Every rule works on the Windows-1252 form, by 1-based byte position; a character outside
    // the code page has become "?", which the forbidden set rejects.
    const QByteArray s = toWindows1252(address);
    const qsizetype n = s.size();
    const auto position = [&s](const char* needle) { return s.indexOf(needle) + 1; };

    if (n == 0) return true;
    const qsizetype at = position("@");
    if (at == 0) return false;
    // Longer than the path or the local part a server must accept: the server would refuse
    // the command line, so the row could never be sent.
    if (n > kMaxAddressLength || at - 1 > kMaxLocalPartLength) return false;
    const qsizetype dot = position(".");
    if (dot == 0) return false;
    if (at == 1 || at == n || dot == 1 || dot == n || s.contains(' ')) return false;
    if (std::abs(at - dot) == 1) return false;

    bool valid = true;
    int atCount = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = s[i];
        if (kForbidden.contains(c) || isControl(c)) valid = false;
        if (c == '@') ++atCount;
        if (c == '.' && i + 1 < n && s[i + 1] == '.') valid = false;
    }
    if (atCount >= 2) valid = false;
    else if (s.back() == '.') valid = false;
    if (s.front() == '.' || s.front() == '_' || s.front() == '-') valid = false;
    // A position of 0 (not found) is at least 2 away from the "@", which is past position 1.
    if (std::abs(at - position("com")) == 1) valid = false;
    if (std::abs(at - position("-")) == 1) valid = false;
    if (std::abs(at - position("_")) == 1) valid = false;
    return valid;
}

}  // namespace velocast::mail
