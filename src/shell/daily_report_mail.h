#pragma once
// The club's daily report as an e-mail: gathered from the state database for a business date,
// composed, and handed to the sender at the end of a drain when it is due; remembered once it
// went. It is a message of the program's own, never a row of the club's outbox: the club's
// tables get no row the management system does not know.
#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "outbox/sending/outbox_sender.h"
#include "shell/daily_report.h"

namespace velocast {

class StateDatabase;
class LocalSettings;

using MemberLookup = std::function<std::optional<MemberReference>(const QString& address)>;

// What the report of `businessDate` says: the history of that business date, the rows the
// campaigns wrote, the day's warnings. False with `error` naming the file when the state
// database cannot be read.
bool gatherDailyReport(const StateDatabase& state, const QDate& businessDate, const MemberLookup& memberOf,
                       DailyReportInput* input, QString* error);

// The e-mail: the report's text as the body and its CSV rows attached as a dated file.
OutboxSender::OwnMessage dailyReportMessage(const DailyReport& report, const QDate& businessDate,
                                            const QStringList& to);

// Hooks the report onto `sender` when [report] to names someone. `businessDate` gives the
// business date once the day's campaigns ran in this copy (nothing before, or while another
// copy works on the database).
void sendDailyReports(OutboxSender& sender, const LocalSettings& settings, StateDatabase& state,
                      std::function<std::optional<QDate>()> businessDate, MemberLookup memberOf);

}  // namespace velocast
