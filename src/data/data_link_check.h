#pragma once
// Whether a data-link file can serve as the club's: before the first-run dialog keeps a copy
// of a file, and before a start uses the one kept where it looks by default.
#include <QString>

namespace velocast {

// What is wrong with the file itself (missing, unreadable, not a data-link file, an unknown
// provider, a SQLite database file that is not there), in one sentence; empty when it reads
// as a data-link file. A server that does not answer is no fault of the file: the program
// waits for it.
QString dataLinkFileProblem(const QString& path);

// The file, and whether the database it names opens and holds the club's settings table;
// empty when it does. Uses a connection of its own, closed before it returns.
QString dataLinkProblem(const QString& path);

}  // namespace velocast
