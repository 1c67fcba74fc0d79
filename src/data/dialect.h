#pragma once
// The SQL dialects Velocast speaks: the club's SQL Server, and SQLite for the demo database
// and the tests. Each statement exists once per dialect, side by side where it runs.
#include <QString>
#include <QVariant>

#include "calendar/date_time.h"

namespace velocast {

enum class Dialect { Mssql, Sqlite };

// A whole date as the dialect reads a quoted literal: "DD/MM/YYYY" (day first; the session
// sets DATEFORMAT dmy) or "YYYY-MM-DD".
QString dateLiteral(Dialect dialect, const DateTime& date);
// A date-time value to bind into a date-time column.
QVariant dateTimeParameter(Dialect dialect, const DateTime& value);
// Reads a date-time column as the driver returns it (QDateTime, QDate, or SQLite's text);
// NULL and empty text give the zero date. Throws DbError on text that is no date.
DateTime dateTimeFromColumn(const QVariant& value);

}  // namespace velocast
