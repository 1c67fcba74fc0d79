#pragma once
// Runs SQL on the shared connection. Qt silently binds NULL to a placeholder that was never
// bound (or bound under a misspelt name), so every statement goes through here: a placeholder
// without a value, or a value without a placeholder, is an error before anything runs.
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace velocast {

class SharedConnection;

// The ":NAME" placeholders of a statement, in order, outside quoted literals.
QStringList placeholdersOf(const QString& sql);

// Prepares, binds and runs `sql`; throws DbError with the driver's text on failure. A closed
// connection is opened first, as opening a table or query does. Over ODBC, an INSERT, UPDATE
// or DELETE with parameters binds each value by its own type (text as Unicode), runs without
// a preparation (what goes through here runs once) and returns an inactive query.
QSqlQuery runSql(SharedConnection& connection, const QString& sql, const QVariantMap& parameters = {});

// The same for a statement without a result that runs many times (once per outbox row, once
// per recipient): on SQLite it is prepared once per connection and only bound and run
// afterwards; over ODBC it binds as runSql does and is prepared once per connection.
void runPrepared(SharedConnection& connection, const QString& sql, const QVariantMap& parameters);

// While it lives, SQLite keeps the memory it holds (page caches, the temporary tables of a
// sort, a DISTINCT or an IN over a subquery) near `bytes`, spilling to temporary files beyond;
// the bound it found comes back at the end. Nothing on other databases. The bound is the
// process's, as SQLite has only the one.
class SqliteMemoryBound {
public:
    SqliteMemoryBound(SharedConnection& connection, qint64 bytes);
    ~SqliteMemoryBound();
    SqliteMemoryBound(const SqliteMemoryBound&) = delete;
    SqliteMemoryBound& operator=(const SqliteMemoryBound&) = delete;

private:
    SharedConnection& connection_;
    qint64 previous_ = -1;  // -1: nothing was set
};

// Runs a statement without a result in the open transaction and commits it. On SQL Server
// the statement, the commit and the next transaction's begin go to the server in one request
// (the commit only when the statement succeeded); elsewhere it is runPrepared() and commit().
// Throws DbError; the transaction is then still open.
void runAndCommit(SharedConnection& connection, const QString& sql, const QVariantMap& parameters);

// The first `columns` values of the first row of a query that runs many times (once per
// outbox row); an empty list when it returns no row. On SQLite it is prepared once per
// connection, over ODBC it goes the way of runSql. Throws DbError.
QVariantList firstRowOf(SharedConnection& connection, const QString& sql, const QVariantMap& parameters, int columns);

}  // namespace velocast
