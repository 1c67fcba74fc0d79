#pragma once
// Header lines within the length mail servers accept.
#include <QByteArray>
#include <QList>

namespace velocast::mail {

constexpr int kFoldWidth = 78;

// One header field (which may already hold CR LF + blank breaks) as physical lines without
// CR LF. A line longer than 78 characters is broken at its last space or tab within the 78
// (or, if it has none there, after its last comma; never right after the field name) and the rest continues on a line that
// begins with one space; a line with no such break stays long. Blanks at the end of every
// line are removed.
QList<QByteArray> foldHeader(const QByteArray& field);

}  // namespace velocast::mail
