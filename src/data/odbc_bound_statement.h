#pragma once
// Runs a statement that returns no rows on an ODBC connection, binding every value with the
// SQL type of its own kind: text as Unicode (NVARCHAR), integers as integers, date-times as
// timestamps, and a NULL with the type of the QVariant that carries it.
//
// Qt's ODBC driver binds text as 8-bit VARCHAR whenever it takes the driver for a non-Unicode
// one, and it always does so for FreeTDS, whose driver name it recognises, even though
// FreeTDS reports full Unicode conversions. FreeTDS then converts an 8-bit parameter to the
// server's code page on the client, and a character outside it ("🎂") fails the whole
// statement. Binding through the ODBC handle ourselves makes the Unicode columns travel as
// NVARCHAR whatever that detection says.
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

namespace velocast {

// `sql` uses ODBC's "?" markers, one per value, in order. Throws DbError with the driver's
// diagnostics when the statement fails.
void execOdbcBound(const QSqlDatabase& db, const QString& sql, const QVariantList& values);

}  // namespace velocast
