#pragma once
// The two conversions every character set in use shares, made without a converter: most
// header text is ASCII, and UTF-8 is written straight from the code points.
#include <QByteArray>
#include <QString>

namespace velocast::mail {

bool isAsciiText(const QString& text);

// UTF-8 from the text's code points; a lone surrogate becomes "?", as any character a set
// cannot hold.
QByteArray utf8Of(const QString& text);

// `text` through the system's converter (iconv, or Windows' code pages) to `charset`, with
// "?" for what the set cannot hold; for text that is not ASCII, in a set other than UTF-8.
QByteArray systemToCharset(const QString& text, const char* charset);

}  // namespace velocast::mail
