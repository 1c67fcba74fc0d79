#pragma once
// The business dates the program worked on, each with the moment it first did. The cash
// register's date is the club's day: it may stay open past midnight, or on an older date for
// days. The history's entries between the first moment of one business date and that of the
// next are the first date's, which is how the daily report and --report count them.
#include <QDate>
#include <QDateTime>
#include <optional>

namespace velocast {

class StateDatabase;

// Remembers that the program works on `businessDate` from `now` on (the first call of a date
// counts). Throws std::runtime_error naming the file when it cannot.
void recordBusinessDay(StateDatabase& state, const QDate& businessDate, const QDateTime& now);

// The entries of `businessDate`: from its first moment to the first moment of the next
// recorded business date (or without end). A date never recorded is its calendar day.
struct DayWindow {
    QDateTime from;
    QDateTime to;  // invalid: no end yet
};
DayWindow businessDayWindow(const StateDatabase& state, const QDate& businessDate);

// The business date the program last worked on; nothing when none is recorded.
std::optional<QDate> latestBusinessDay(const StateDatabase& state);

}  // namespace velocast
