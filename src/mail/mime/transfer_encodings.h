#pragma once
// The two content transfer encodings of a message with an attachment.
#include <QByteArray>
#include <QList>

namespace velocast::mail {

// Quoted-printable lines (without CR LF) for `lines` of 8-bit text. Printable characters
// other than "=" stand for themselves, a blank too unless it ends its line; everything else
// is "=XX". An output line is ended with a soft break "=" as soon as it holds 70 characters,
// and a "." that would begin an output line is written "=2E", so no line needs dot-stuffing.
QList<QByteArray> quotedPrintableLines(const QList<QByteArray>& lines);

// Base64 lines of at most 76 characters, one for every 57 bytes of `data`.
QList<QByteArray> base64Lines(const QByteArray& data);

}  // namespace velocast::mail
