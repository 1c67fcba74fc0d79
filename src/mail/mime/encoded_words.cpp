#include "mail/mime/encoded_words.h"

#include "mail/mime/windows1252.h"

#include <QRegularExpression>
#include <QtGlobal>

namespace velocast::mail {
namespace {

constexpr int kMaxEncodedWord = 75;

const char* iconvNameFor(const QByteArray& charset) {
    if (charset == "csEUCKR") return "EUC-KR";
    if (charset == "Big5") return "BIG5";
    if (charset == "windows-1251") return "WINDOWS-1251";
    return charset.constData();  // GB2312, ISO-2022-JP, KOI8-R, UTF-8 are iconv names already
}

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Whether the text already holds something a reader would decode as an encoded word; only
// then may a plain "=" stay as it is.
bool holdsEncodedWord(const QString& text) {
    static const QRegularExpression word(
        QStringLiteral(R"(=\?[^?\s]+\?(?:[Bb]\?[A-Za-z0-9+/]*={0,2}|[Qq]\?[^?\s]*)\?=)"));
    return word.match(text).hasMatch();
}

bool needsEncoding(const QByteArray& word, HeaderTextKind kind, bool equalsNeedsEncoding) {
    for (char c : word) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b > 126) return true;
        if (c == '=' && equalsNeedsEncoding) return true;
        if (kind == HeaderTextKind::DisplayName && QByteArrayView("()[]<>:;.,@\\\"").contains(c)) return true;
    }
    return false;
}

// One run as encoded words of at most 75 characters. The base64 text grows in groups of 3
// bytes, but a word always ends on a whole character (for a stateful charset such as
// ISO-2022-JP, back in its initial state): readers decode each word on its own, and half a
// character decodes to nothing or to garbage.
QByteArray encodeRun(const QString& run, const QByteArray& charset) {
    const char* iconvName = iconvNameFor(charset);
    const QByteArray open = "=?" + charset + "?B?";
    const QByteArray close = "?=";
    const auto word = [&](const QByteArray& bytes) { return open + bytes.toBase64() + close; };
    const auto fits = [&](qsizetype bytes) {
        return open.size() + (bytes + 2) / 3 * 4 + close.size() <= kMaxEncodedWord;
    };
    QList<QByteArray> words;
    if (charset == "ISO-2022-JP") {
        // Stateful: a word's bytes are those of its whole text, escapes included, so each
        // candidate word is converted afresh.
        QString current;
        for (const uint cp : run.toUcs4()) {
            const char32_t character = cp;
            const QString next = current + QString::fromUcs4(&character, 1);
            if (!current.isEmpty() && !fits(toCharset(next, iconvName).size())) {
                words.append(word(toCharset(current, iconvName)));
                current = next.mid(current.size());
            } else {
                current = next;
            }
        }
        words.append(word(toCharset(current, iconvName)));
    } else {
        // Stateless: a text's bytes are its characters' bytes one after the other.
        QByteArray current;
        bool started = false;  // a word holds at least one character, even one too long
        for (const uint cp : run.toUcs4()) {
            const char32_t character = cp;
            const QByteArray bytes = toCharset(QString::fromUcs4(&character, 1), iconvName);
            if (started && !fits(current.size() + bytes.size())) {
                words.append(word(current));
                current = bytes;
            } else {
                current += bytes;
            }
            started = true;
        }
        words.append(word(current));
    }
    return words.join("\r\n ");
}

}  // namespace

QByteArray headerCharsetForLocale(const QString& localeName) {
    // language[_territory][.codeset][@modifier]
    static const QRegularExpression parts(QStringLiteral("^([A-Za-z]+)(?:_([A-Za-z]+))?"));
    const auto m = parts.match(localeName);
    const QString language = m.captured(1).toLower();
    const QString territory = m.captured(2).toUpper();
    if (language == u"zh") return (territory == u"CN" || territory == u"SG") ? "GB2312" : "Big5";
    if (language == u"ja") return "ISO-2022-JP";
    if (language == u"ko") return "csEUCKR";
    if (language == u"ru") return "KOI8-R";
    if (language == u"uk") return "windows-1251";
    return "UTF-8";
}

QByteArray headerCharsetFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty()) return headerCharsetForLocale(value);
    }
    return "UTF-8";
}

QByteArray encodeHeaderText(const QString& value, const QByteArray& charset, HeaderTextKind kind) {
    // A CR or LF in a value would start a header line of its own: it counts as a blank.
    QString text = value;
    text.replace(u'\r', u' ').replace(u'\n', u' ');
    const char* iconvName = iconvNameFor(charset);
    const bool equalsNeedsEncoding = !holdsEncodedWord(text);

    // Alternating words and blank runs, in order, each with its bytes in the charset.
    struct Token {
        QString text;
        QByteArray bytes;
        bool blank;
        bool encode;
    };
    QList<Token> tokens;
    for (qsizetype i = 0; i < text.size();) {
        const bool blank = isBlank(text[i]);
        qsizetype j = i;
        while (j < text.size() && isBlank(text[j]) == blank) ++j;
        const QString piece = text.mid(i, j - i);
        const QByteArray bytes = toCharset(piece, iconvName);
        tokens.append({piece, bytes, blank, !blank && needsEncoding(bytes, kind, equalsNeedsEncoding)});
        i = j;
    }

    QByteArray out;
    for (qsizetype i = 0; i < tokens.size();) {
        if (!tokens[i].encode) {
            out += tokens[i++].bytes;
            continue;
        }
        // The run reaches to the last word needing encoding before a plain word or the end;
        // blanks between its words belong to it, blanks around it stay outside.
        QString run = tokens[i].text;
        qsizetype next = i + 1;
        while (next + 1 < tokens.size() && tokens[next].blank && tokens[next + 1].encode) {
            run += tokens[next].text + tokens[next + 1].text;
            next += 2;
        }
        out += encodeRun(run, charset);
        i = next;
    }
    return out;
}

}  // namespace velocast::mail
