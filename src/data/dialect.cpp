#include "data/dialect.h"

#include <QDateTime>

#include "data/db_error.h"

namespace velocast {

QString dateLiteral(Dialect dialect, const DateTime& date) {
    if (dialect == Dialect::Mssql) return date.format(QStringLiteral("DD/MM/YYYY"));
    return date.date().toString(Qt::ISODate);
}

QVariant dateTimeParameter(Dialect dialect, const DateTime& value) {
    if (dialect == Dialect::Mssql) return value.toQDateTime();
    return value.toQDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

DateTime dateTimeFromColumn(const QVariant& value) {
    if (value.isNull()) return DateTime();
    switch (value.typeId()) {
    case QMetaType::QDateTime: return DateTime::fromQDateTime(value.toDateTime());
    case QMetaType::QDate: return DateTime::fromDate(value.toDate());
    default: break;
    }
    const QString text = value.toString().trimmed();
    if (text.isEmpty()) return DateTime();
    // Date and time are parsed apart: a local midnight that a daylight-saving change skips
    // must still read as that day.
    const QString datePart = text.left(10);
    QString timePart = text.mid(11);
    const QDate date = QDate::fromString(datePart, Qt::ISODate);
    if (date.isValid() && (text.size() == 10 || text.at(10) == QLatin1Char(' ') || text.at(10) == QLatin1Char('T'))) {
        if (timePart.isEmpty()) return DateTime::fromDate(date);
        QTime time = QTime::fromString(timePart, Qt::ISODateWithMs);
        if (!time.isValid()) time = QTime::fromString(timePart, Qt::ISODate);
        if (time.isValid())
            return DateTime::fromDays(DateTime::fromDate(date).days() + time.msecsSinceStartOfDay() / 86400000.0);
    }
    throw DbError(QStringLiteral("\"%1\" is not a date-time value").arg(text));
}

}  // namespace velocast
