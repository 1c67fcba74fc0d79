#pragma once
// velocast --history: what became of the e-mails to an address (or to everyone), from the
// club's send history on this machine.
#include <QDate>
#include <QString>
#include <cstdio>

namespace velocast {

struct Settings;

struct HistoryOptions {
    QString dataLinkPath;  // names the club whose history is read
    QString address;       // empty: every address
    QDate since;           // invalid: all that is kept
    bool csv = false;
};

// 0 listed (also when nothing matched); 1 the history could not be read (said on `err`).
int runHistory(const HistoryOptions& options, const Settings& settings, std::FILE* out = stdout,
               std::FILE* err = stderr);

}  // namespace velocast
