#pragma once
// The address check applied to every outbox row before anything is sent to it.
#include <QString>

namespace velocast::mail {

// The text without the characters of code U+0020 or below at either end (blanks, tabs, line
// breaks and other controls), as addresses and host names are read.
QString trimControlCharacters(const QString& text);

// True when `address` (blanks already removed at both ends by the caller) passes every
// character and position rule, checked on its Windows-1252 form. A pure test on the text: no
// DNS. An address longer than 254 characters, or with a local part over 64, fails: no
// server takes it. A control character (below U+0020, or U+007F) fails it, since it
// would be written into SMTP commands and header lines. An empty text passes here; the
// sender rejects empty addresses itself.
bool ValidaEMail(const QString& address);

}  // namespace velocast::mail
