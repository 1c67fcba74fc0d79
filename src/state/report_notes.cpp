#include "state/report_notes.h"

#include <QSqlQuery>

#include "state/state_database.h"

namespace velocast {

// A note the report cannot keep costs the report a line, never the sending: no error here.

void recordRowsWritten(StateDatabase& state, const QDate& businessDate, const QString& campaign, int rows) {
    QSqlQuery q(state.database());
    q.prepare(QStringLiteral(
        "INSERT INTO report_written (business_date, campaign, row_count) VALUES (?, ?, ?) "
        "ON CONFLICT (business_date, campaign) DO UPDATE SET row_count = row_count + excluded.row_count"));
    q.addBindValue(businessDate.toString(Qt::ISODate));
    q.addBindValue(campaign);
    q.addBindValue(rows);
    q.exec();
}

QHash<QString, int> rowsWritten(const StateDatabase& state, const QDate& businessDate) {
    QHash<QString, int> written;
    QSqlQuery q(state.database());
    q.prepare(QStringLiteral("SELECT campaign, row_count FROM report_written WHERE business_date = ?"));
    q.addBindValue(businessDate.toString(Qt::ISODate));
    if (q.exec())
        while (q.next()) written.insert(q.value(0).toString(), q.value(1).toInt());
    return written;
}

void recordReportWarning(StateDatabase& state, const QDate& businessDate, const QString& kind, const QDateTime& at,
                         const QString& text) {
    QSqlQuery q(state.database());
    q.prepare(
        QStringLiteral("INSERT OR IGNORE INTO report_warning (business_date, kind, at, text) VALUES (?, ?, ?, ?)"));
    q.addBindValue(businessDate.toString(Qt::ISODate));
    q.addBindValue(kind);
    q.addBindValue(at.toSecsSinceEpoch());
    q.addBindValue(text);
    q.exec();
}

QStringList reportWarnings(const StateDatabase& state, const QDate& businessDate) {
    QStringList warnings;
    QSqlQuery q(state.database());
    q.prepare(QStringLiteral("SELECT at, text FROM report_warning WHERE business_date = ? ORDER BY at, kind"));
    q.addBindValue(businessDate.toString(Qt::ISODate));
    if (q.exec())
        while (q.next())
            warnings << QDateTime::fromSecsSinceEpoch(q.value(0).toLongLong()).toString(QStringLiteral("HH:mm ")) +
                            q.value(1).toString();
    return warnings;
}

}  // namespace velocast
