#pragma once
// The e-mail body as the lines of a word-wrapping text box: the club writes the text once
// and the wrap decides where the lines of the e-mail break.
#include <QString>
#include <QStringList>

namespace velocast::mail {

// The box: 641 pixels wide with its border, 8-point "MS Sans Serif" (11 pixels high).
constexpr int kWrapBoxWidth = 641;
// Room for text: the box less its two 2-pixel sunken border edges and a 2-pixel inner margin
// on each side.
constexpr int kWrapTextWidth = kWrapBoxWidth - 2 * 2 - 2 * 2;
// Tab stops every 32 dialog units: 8 average character widths of 6 pixels.
constexpr int kWrapTabStop = 48;
// A display line is read with at most this many characters.
constexpr int kWrapMaxLineLength = 4096;

// Advance width in pixels of one character in the font (see the table in body_wrap.cpp).
int glyphWidth(char32_t c);

// The display lines of `text`. CR LF, a lone CR and a lone LF are each one line break. Every
// paragraph breaks before the first word that no longer fits; the blanks at a break stay at
// the end of the upper line (they hang past the edge, as in the text box); only a word wider
// than the box is cut, at the edge. A final empty line is not part of the list, so an empty
// text gives no lines.
QStringList wrapBody(const QString& text);
// The same lines grouped by paragraph (every paragraph, an empty one too, has at least one),
// so that the breaks the wrap made can be told from the breaks the text had.
QList<QStringList> wrapBodyParagraphs(const QString& text);

}  // namespace velocast::mail
