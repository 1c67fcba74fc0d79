#pragma once
// Conversions between Unicode text and the 8-bit character sets the mail code needs.
// Windows-1252 is the code page of the club's systems: outbox texts are stored in it and
// addresses are checked in it; it is converted with a fixed table. Other character sets go
// through the system's converter: on Windows its code pages; elsewhere iconv, with one
// converter per character set kept for the whole run (opening one loads a conversion module,
// which would otherwise happen for every string of every e-mail).
#include <QByteArray>
#include <QString>

namespace velocast::mail {

// `text` in the iconv character set `charset`. A character the set cannot represent becomes
// "?" (for a stateful set such as ISO-2022-JP, after returning to its initial state), never
// an error. An unknown charset name throws std::runtime_error once the text holds more than
// ASCII, which every set in use writes as itself.
QByteArray toCharset(const QString& text, const char* charset);

// `text` in Windows-1252, with "?" for every character outside it.
QByteArray toWindows1252(const QString& text);

// Widens Windows-1252 bytes. The five byte values the code page leaves undefined become the
// code point of the same value, as Windows widens them.
QString fromWindows1252(const QByteArray& bytes);

}  // namespace velocast::mail
