#pragma once
// What the daily report of a business date says besides the send history: the rows each
// campaign wrote, and the warnings that need a person (a refused sign-in, a mailbox that
// cannot be read, a pacing limit, a throttling provider). Kept in the state database so that
// a restart during the day loses none of them.
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

namespace velocast {

class StateDatabase;

// Adds `rows` to what `campaign` wrote on `businessDate` (a campaign that ran already and
// writes nothing more adds 0).
void recordRowsWritten(StateDatabase& state, const QDate& businessDate, const QString& campaign, int rows);
// By campaign (the control flag name); empty when nothing was recorded or it cannot be read.
QHash<QString, int> rowsWritten(const StateDatabase& state, const QDate& businessDate);

// Keeps the first warning of each `kind` on `businessDate` (later ones of the kind repeat it:
// a throttling provider would fill the report). `text` is one Portuguese sentence.
void recordReportWarning(StateDatabase& state, const QDate& businessDate, const QString& kind, const QDateTime& at,
                         const QString& text);
// The day's warnings, oldest first, each led by its time ("14:05 ...").
QStringList reportWarnings(const StateDatabase& state, const QDate& businessDate);

}  // namespace velocast
