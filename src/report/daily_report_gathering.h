#pragma once
// Everything the daily report of one business date says, gathered from the state database:
// the history of that date, the rows the campaigns wrote, the warnings of the day.
#include <QDate>
#include <QString>
#include <functional>
#include <optional>

#include "report/daily_report.h"

namespace velocast {

class StateDatabase;

using MemberLookup = std::function<std::optional<MemberReference>(const QString& address)>;

// False with `error` naming the file when the state database cannot be read.
bool gatherDailyReport(const StateDatabase& state, const QDate& businessDate, const MemberLookup& memberOf,
                       DailyReportInput* input, QString* error);

}  // namespace velocast
