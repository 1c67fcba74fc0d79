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
//
// A statement runs many times (an outbox row per recipient, a delete per row sent): each is
// prepared once per connection and then only executed with new values, and each text value
// is declared with its column's width, not its own length, so that the server keeps one plan
// for it instead of one per combination of lengths.
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>
#include <memory>

namespace velocast {

// The ODBC connection handle (SQLHDBC) under Qt's connection; throws DbError when it has none.
void* odbcConnectionHandle(const QSqlDatabase& db);
// The driver's diagnostics of an ODBC handle, as one text.
QString odbcDiagnostics(short handleType, void* handle);

// How a text value is declared: a column's width in characters, or one of these.
constexpr int kUndeclaredWidth = 0;  // NVARCHAR(4000), NVARCHAR(MAX) beyond
constexpr int kLongTextWidth = -1;   // a long text column: NVARCHAR(MAX) whatever its length

// The statements prepared on one ODBC connection; they go with it (clear() before it closes).
class OdbcStatements {
public:
    OdbcStatements();
    ~OdbcStatements();
    OdbcStatements(const OdbcStatements&) = delete;
    OdbcStatements& operator=(const OdbcStatements&) = delete;

    // `sql` uses ODBC's "?" markers, one per value, in order; `textWidths` gives the width of
    // each text value by position (missing ones: kUndeclaredWidth). Throws DbError with the
    // driver's diagnostics when the statement fails.
    void exec(const QSqlDatabase& db, const QString& sql, const QVariantList& values,
              const QList<int>& textWidths = {});
    // The same for a statement that runs once (a run's control row, a host table's update):
    // executed directly, with its values, and not prepared: a preparation would cost the
    // server a plan kept for nothing and the network a round trip to let it go.
    void execOnce(const QSqlDatabase& db, const QString& sql, const QVariantList& values,
                  const QList<int>& textWidths = {});
    // The same for a query whose first column holds integers: their values, every row read.
    QList<qlonglong> integers(const QSqlDatabase& db, const QString& sql, const QVariantList& values);
    // The same for a query: the first `columns` values of each row (integers as numbers,
    // anything else as text, NULL as a null QVariant), every row read, so that the driver
    // has nothing left to cancel.
    QList<QVariantList> rows(const QSqlDatabase& db, const QString& sql, const QVariantList& values, int columns);
    void clear();

private:
    struct Prepared;
    Prepared& run(const QSqlDatabase& db, const QString& sql, const QVariantList& values, const QList<int>& textWidths);
    QHash<QString, std::shared_ptr<Prepared>> prepared_;
};

}  // namespace velocast
