#include "state/business_days.h"

#include <QSqlError>
#include <QSqlQuery>
#include <stdexcept>

#include "state/state_database.h"

namespace velocast {

void recordBusinessDay(StateDatabase& state, const QDate& businessDate, const QDateTime& now) {
    if (!businessDate.isValid()) return;
    QSqlQuery q(state.database());
    q.prepare(QStringLiteral("INSERT OR IGNORE INTO business_day (business_date, began) VALUES (?, ?)"));
    q.addBindValue(businessDate.toString(Qt::ISODate));
    q.addBindValue(now.toSecsSinceEpoch());
    if (!q.exec())
        throw std::runtime_error(QStringLiteral("the state database %1 cannot record the business date (%2); check "
                                                "the disk and the file's permissions, or set [state] database in "
                                                "velocast.conf")
                                     .arg(state.path(), q.lastError().text())
                                     .toStdString());
}

DayWindow businessDayWindow(const StateDatabase& state, const QDate& businessDate) {
    const QString date = businessDate.toString(Qt::ISODate);
    QSqlQuery q(state.database());
    q.prepare(QStringLiteral("SELECT began FROM business_day WHERE business_date = ?"));
    q.addBindValue(date);
    if (!q.exec() || !q.next()) return {businessDate.startOfDay(), businessDate.addDays(1).startOfDay()};
    DayWindow window{QDateTime::fromSecsSinceEpoch(q.value(0).toLongLong()), QDateTime()};
    q.prepare(QStringLiteral("SELECT MIN(began) FROM business_day WHERE business_date > ?"));
    q.addBindValue(date);
    if (q.exec() && q.next() && !q.value(0).isNull())
        window.to = QDateTime::fromSecsSinceEpoch(q.value(0).toLongLong());
    return window;
}

std::optional<QDate> latestBusinessDay(const StateDatabase& state) {
    QSqlQuery q(state.database());
    if (!q.exec(QStringLiteral("SELECT business_date FROM business_day ORDER BY began DESC, business_date DESC "
                               "LIMIT 1")) ||
        !q.next())
        return std::nullopt;
    const QDate date = QDate::fromString(q.value(0).toString(), Qt::ISODate);
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

}  // namespace velocast
