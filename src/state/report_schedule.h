#pragma once
// When the club's daily report goes: once per business date, after the day's campaigns ran
// and the drain that follows them left nothing waiting, or at the report hour when rows are
// still deferred (the staff want it before they leave, not when a dead server gives up). A
// report that could not go stays due and goes with the next drain; one that went is
// remembered in the state database, so a restart on the same day sends no second one.
#include <QDate>
#include <QDateTime>

namespace velocast {

class StateDatabase;

struct ReportMoment {
    QDate businessDate;          // the cash register's
    QDateTime now;               // local time
    bool campaignsDone = false;  // the day's campaigns ran (or had nothing to run)
    int rowsWaiting = 0;         // outbox rows left after the last drain (deferred or kept)
    int hour = 20;               // [report] hour
};

// Whether the report of `moment.businessDate` should go now, given whether it already went.
bool reportDue(const ReportMoment& moment, bool alreadySent);

// Whether the report of `businessDate` went. Throws std::runtime_error naming the file when it
// cannot be read: a report whose sending cannot be remembered would go with every drain.
bool reportSent(const StateDatabase& state, const QDate& businessDate);
// Remembers that it went. Throws std::runtime_error naming the file when it cannot.
void markReportSent(StateDatabase& state, const QDate& businessDate, const QDateTime& at);

}  // namespace velocast
