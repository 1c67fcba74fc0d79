#pragma once
// The lines the program writes on standard error when nobody watches a window. Under systemd
// (standard error connected to the journal) each line starts with its syslog priority, "<3>"
// for an error, "<4>" for a warning, "<6>" for information, so `journalctl -p err` finds the
// failures; on a terminal or in a file the lines stay as they are.
#include <QString>
#include <cstdio>

namespace velocast {

enum class LogPriority { Error = 3, Warning = 4, Info = 6 };

// Whether `out` is the stream systemd connected to the journal ($JOURNAL_STREAM names its
// device and inode).
bool writesToJournal(std::FILE* out = stderr);

// Writes `line` (no line break) and a line break, flushed at once.
void writeLogLine(LogPriority priority, const QString& line, std::FILE* out = stderr);

}  // namespace velocast
