#include "mail/mime/body_wrap.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace velocast::mail {
namespace {

// Advance widths in pixels of 8-point "MS Sans Serif" at 96 dots per inch, the bitmap face
// that Windows draws at that size. This table is the program's fixed model of the font: the
// body lines must not depend on the fonts of the machine that sends.
//
// U+0020 to U+007E.
constexpr std::array<std::uint8_t, 95> kAscii = {
    //  sp !  "  #  $  %  &  '  (  )  *  +  ,  -  .  /
    3,
    3,
    4,
    6,
    6,
    9,
    7,
    2,
    4,
    4,
    4,
    6,
    3,
    4,
    3,
    3,
    //  0 1  2  3  4  5  6  7  8  9  :  ;  <  =  >  ?
    6,
    6,
    6,
    6,
    6,
    6,
    6,
    6,
    6,
    6,
    3,
    3,
    6,
    6,
    6,
    6,
    //  @  A  B  C  D  E  F  G  H  I  J  K  L  M  N  O
    11,
    7,
    7,
    8,
    8,
    7,
    6,
    8,
    8,
    3,
    5,
    7,
    6,
    9,
    8,
    8,
    //  P Q  R  S  T  U  V  W   X  Y  Z  [  \  ]  ^  _
    7,
    8,
    8,
    7,
    7,
    8,
    7,
    11,
    7,
    7,
    7,
    3,
    3,
    3,
    6,
    6,
    //  ` a  b  c  d  e  f  g  h  i  j  k  l  m  n  o
    3,
    5,
    5,
    5,
    5,
    5,
    3,
    5,
    5,
    2,
    2,
    5,
    2,
    8,
    5,
    5,
    //  p q  r  s  t  u  v  w  x  y  z  {  |  }  ~
    5,
    5,
    3,
    5,
    3,
    5,
    5,
    8,
    5,
    5,
    5,
    4,
    2,
    4,
    7,
};

// U+00A0 to U+00FF: signs by their own width, accented letters as their base letter.
constexpr std::array<std::uint8_t, 96> kLatin1 = {
    // nbsp ¡ ¢  £  ¤  ¥  ¦  §  ¨  ©  ª  «  ¬  shy ® ¯
    3,
    3,
    6,
    6,
    6,
    6,
    2,
    6,
    3,
    9,
    4,
    6,
    6,
    4,
    9,
    6,
    //  ° ±  ²  ³  ´  µ  ¶  ·  ¸  ¹  º  »  ¼  ½  ¾  ¿
    4,
    6,
    3,
    3,
    3,
    5,
    6,
    3,
    3,
    3,
    4,
    6,
    9,
    9,
    9,
    6,
    //  À Á  Â  Ã  Ä  Å  Æ   Ç  È  É  Ê  Ë  Ì  Í  Î  Ï
    7,
    7,
    7,
    7,
    7,
    7,
    11,
    8,
    7,
    7,
    7,
    7,
    3,
    3,
    3,
    3,
    //  Ð Ñ  Ò  Ó  Ô  Õ  Ö  ×  Ø  Ù  Ú  Û  Ü  Ý  Þ  ß
    8,
    8,
    8,
    8,
    8,
    8,
    8,
    6,
    8,
    8,
    8,
    8,
    8,
    7,
    7,
    6,
    //  à á  â  ã  ä  å  æ  ç  è  é  ê  ë  ì  í  î  ï
    5,
    5,
    5,
    5,
    5,
    5,
    8,
    5,
    5,
    5,
    5,
    5,
    2,
    2,
    2,
    2,
    //  ð ñ  ò  ó  ô  õ  ö  ÷  ø  ù  ú  û  ü  ý  þ  ÿ
    5,
    5,
    5,
    5,
    5,
    5,
    5,
    6,
    5,
    5,
    5,
    5,
    5,
    5,
    5,
    5,
};

// Everything else (the euro sign and typographic quotes of the code page, control
// characters, other scripts) is drawn one average glyph wide.
constexpr int kOtherWidth = 6;

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

int advance(QChar c, int lineWidth) {
    if (c == u'\t') return kWrapTabStop - lineWidth % kWrapTabStop;
    return glyphWidth(c.unicode());
}

// Wraps one paragraph (no line breaks inside) onto `lines`. A line is always a stretch of
// the paragraph, so it is cut out whole when it ends rather than built a character at a time.
void wrapParagraph(QStringView paragraph, QStringList& lines) {
    qsizetype lineStart = 0;
    int width = 0;
    const auto flushAt = [&](qsizetype end) {
        // A display line is read with at most kWrapMaxLineLength characters.
        lines.append(paragraph.mid(lineStart, std::min<qsizetype>(end - lineStart, kWrapMaxLineLength)).toString());
        lineStart = end;
        width = 0;
    };
    for (qsizetype i = 0; i < paragraph.size();) {
        qsizetype end = i;
        const bool blank = isBlank(paragraph[i]);
        while (end < paragraph.size() && isBlank(paragraph[end]) == blank) ++end;
        if (blank) {  // blanks stay on the line they follow, even past the edge
            for (qsizetype k = i; k < end; ++k) width += advance(paragraph[k], width);
            i = end;
            continue;
        }
        int wordWidth = 0;
        for (qsizetype k = i; k < end; ++k) wordWidth += glyphWidth(paragraph[k].unicode());
        if (lineStart < i && width + wordWidth > kWrapTextWidth) flushAt(i);
        if (width + wordWidth <= kWrapTextWidth) {
            width += wordWidth;
        } else {
            // Only a word wider than the whole box is cut, at the edge.
            for (qsizetype k = i; k < end; ++k) {
                const int w = glyphWidth(paragraph[k].unicode());
                if (lineStart < k && width + w > kWrapTextWidth) flushAt(k);
                width += w;
            }
        }
        i = end;
    }
    flushAt(paragraph.size());
}

}  // namespace

int glyphWidth(char32_t c) {
    if (c >= 0x20 && c <= 0x7E) return kAscii[c - 0x20];
    if (c >= 0xA0 && c <= 0xFF) return kLatin1[c - 0xA0];
    return kOtherWidth;
}

QList<QStringList> wrapBodyParagraphs(const QString& text) {
    QString normalized = text;
    if (normalized.contains(u'\r'))
        normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QList<QStringView> paragraphs = QStringView(normalized).split(u'\n');
    if (paragraphs.last().isEmpty())  // the final empty line, or the whole of an empty text
        paragraphs.removeLast();

    QList<QStringList> wrapped;
    wrapped.reserve(paragraphs.size());
    for (const QStringView paragraph : paragraphs) {
        QStringList lines;
        wrapParagraph(paragraph, lines);
        wrapped.append(std::move(lines));
    }
    return wrapped;
}

QStringList wrapBody(const QString& text) {
    QStringList lines;
    for (const QStringList& paragraph : wrapBodyParagraphs(text)) lines += paragraph;
    return lines;
}

}  // namespace velocast::mail
