#pragma once
// Non-ASCII header text (subject, sender name, attachment file name) as RFC 2047 encoded
// words, "B" encoding, in the charset that the language of the process locale selects.
#include <QByteArray>
#include <QString>

namespace velocast::mail {

// The MIME charset name for a locale name such as "pt_BR.UTF-8": simplified Chinese
// (zh_CN, zh_SG) "GB2312", other Chinese "Big5", Japanese "ISO-2022-JP", Korean "csEUCKR",
// Russian "KOI8-R", Ukrainian "windows-1251", any other language "UTF-8".
QByteArray headerCharsetForLocale(const QString& localeName);

// The same for the process locale: the first non-empty of LC_ALL, LC_CTYPE and LANG.
QByteArray headerCharsetFromEnvironment();

enum class HeaderTextKind {
    Unstructured,  // subject, file name
    DisplayName,   // words holding ( ) [ ] < > : ; . , @ \ " are encoded as well
};

// `value` as header bytes: plain words copied, each run of words that need encoding (with
// the blanks between them) one sequence of encoded words of at most 75 characters, each
// holding whole characters, joined by CR LF and a space. "=" needs encoding too, unless the
// text already holds something that decodes as an encoded word. `charset` is one of the
// names above. A CR or LF in the value never starts a header line of its own: it is taken as
// a blank.
QByteArray encodeHeaderText(const QString& value, const QByteArray& charset,
                            HeaderTextKind kind = HeaderTextKind::Unstructured);

}  // namespace velocast::mail
