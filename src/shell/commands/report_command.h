#pragma once
// velocast --report: the club's daily report of one day, from the send history on this
// machine, as the [report] e-mail carries it (the text, or its CSV attachment).
#include <QDate>
#include <QString>
#include <cstdio>

namespace velocast {

struct Settings;

struct ReportOptions {
    QString dataLinkPath;  // names the club whose history is read
    QDate date;            // invalid: today
    bool csv = false;
};

// 0 printed (also for a day without entries); 1 the history could not be read (said on `err`).
int runReport(const ReportOptions& options, const Settings& settings, std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace velocast
