#pragma once
// The club's daily report as an e-mail: gathered for a business date, composed, and handed
// to the sender at the end of a drain when it is due; remembered once it went. It is a message of the program's own, never a row of the club's outbox: the club's
// tables get no row the management system does not know.
#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "outbox/sending/outbox_sender.h"
#include "report/daily_report_gathering.h"

namespace velocast {

class StateDatabase;
struct Settings;

// The e-mail: the report's text as the body and its CSV rows attached as a dated file.
OutboxSender::OwnMessage dailyReportMessage(const DailyReport& report, const QDate& businessDate,
                                            const QStringList& to);

// Hooks the report onto `sender` when [report] to names someone. `businessDate` gives the
// business date once the day's campaigns ran in this copy (nothing before, or while another
// copy works on the database).
void sendDailyReports(OutboxSender& sender, const Settings& settings, StateDatabase& state,
                      std::function<std::optional<QDate>()> businessDate, MemberLookup memberOf);

}  // namespace velocast
