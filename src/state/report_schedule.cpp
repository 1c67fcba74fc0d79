#include "state/report_schedule.h"

#include <QSqlError>
#include <QSqlQuery>
#include <stdexcept>

#include "state/state_database.h"

namespace velocast {

bool reportDue(const ReportMoment& moment, bool alreadySent) {
    if (alreadySent || !moment.businessDate.isValid() || !moment.campaignsDone) return false;
    if (moment.rowsWaiting <= 0) return true;
    // Past the report hour of the business date, or on a later calendar day (a business
    // date that runs past midnight).
    return moment.now.date() > moment.businessDate || moment.now.time().hour() >= moment.hour;
}

bool reportSent(const StateDatabase& state, const QDate& businessDate) {
    QSqlQuery q(state.database());
    q.prepare(QStringLiteral("SELECT 1 FROM report_sent WHERE business_date = ?"));
    q.addBindValue(businessDate.toString(Qt::ISODate));
    if (!q.exec())
        throw std::runtime_error(QStringLiteral("the state database %1 cannot be read (%2); check the file's "
                                                "permissions, or set [state] database in velocast.conf")
                                     .arg(state.path(), q.lastError().text())
                                     .toStdString());
    return q.next();
}

void markReportSent(StateDatabase& state, const QDate& businessDate, const QDateTime& at) {
    QSqlQuery q(state.database());
    q.prepare(QStringLiteral("INSERT OR IGNORE INTO report_sent (business_date, at) VALUES (?, ?)"));
    q.addBindValue(businessDate.toString(Qt::ISODate));
    q.addBindValue(at.toSecsSinceEpoch());
    if (!q.exec())
        throw std::runtime_error(QStringLiteral("the state database %1 cannot record the daily report (%2); check the "
                                                "disk and the file's permissions, or set [state] database in "
                                                "velocast.conf")
                                     .arg(state.path(), q.lastError().text())
                                     .toStdString());
}

}  // namespace velocast
