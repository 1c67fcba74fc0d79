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

}  // namespace velocast::mail
