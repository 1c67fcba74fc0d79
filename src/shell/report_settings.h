#pragma once
// velocast.conf's [report] section: who gets the club's daily report, and the hour it goes
// when rows still wait.
#include <QString>
#include <QStringList>

namespace velocast {

class LocalSettings;

// [report] to, each address as written; empty: no report.
QStringList reportRecipients(const LocalSettings& settings);
// [report] hour.
int reportHour(const LocalSettings& settings);

// Empty when the section can be used; otherwise one sentence naming the file and the key (an
// address the address check refuses, an hour without anyone to send to).
QString reportSettingsProblem(const LocalSettings& settings);

}  // namespace velocast
