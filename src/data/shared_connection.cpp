#include "data/shared_connection.h"

#include "data/sql_server_encryption.h"

#include "data/odbc_api.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include "data/db_error.h"
#include "data/failure_cause.h"
#include "data/odbc_bound_statement.h"

namespace velocast {
namespace {
QString driverText(const QSqlError& error) {
    QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}
// The sender commits once per outbox row. SQLite's default (rollback journal, a full sync)
// costs several disk flushes and a file deletion per commit, which makes the disk, not the
// mail server, the limit. In the write-ahead log with synchronous=NORMAL every transaction is
// still atomic and a crash of the program loses nothing committed; what a power cut or a
// system crash can undo is the last few commits, that is the last deletes of sent rows, so
// those messages go out again and none is lost. A file that cannot switch (read-only, or on
// a file system without shared memory) keeps its journal: slower, never wrong.
void useWriteAheadLog(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) && q.next() &&
        q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0)
        q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
}

// Runs a session setting as a batch of its own: forward-only, because in a server cursor (a
// procedure call) the server would undo the setting as soon as the call returned.
void runSetting(QSqlDatabase& db, const QString& sql) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(sql)) throw DbError(driverText(q.lastError()));
}

// SQL Server's transactions through the ODBC handle: Qt turns auto-commit back on after every
// commit, which costs a round trip of its own to end the transaction that the driver had
// already begun anew.
void setAutoCommit(const QSqlDatabase& db, bool on) {
    const SQLHDBC handle = odbcConnectionHandle(db);
    const SQLRETURN r = SQLSetConnectAttr(
        handle, SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
        SQL_IS_UINTEGER);
    if (!SQL_SUCCEEDED(r)) throw DbError(odbcDiagnostics(SQL_HANDLE_DBC, handle));
}

void endTransaction(const QSqlDatabase& db, SQLSMALLINT how) {
    const SQLHDBC handle = odbcConnectionHandle(db);
    if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, handle, how))) throw DbError(odbcDiagnostics(SQL_HANDLE_DBC, handle));
}

}  // namespace

QString SharedConnection::timeoutExplanation(const QString& errorText) const {
    const QString text = errorText.toLower();
    if (text.contains(QLatin1String("lock request time out")))
        return QStringLiteral(
                   "lock time-out: another session held a lock for more than %1 s (%2; "
                   "[database] lock_timeout in velocast.conf)")
            .arg(bounds.lockTimeoutSeconds)
            .arg(errorText.trimmed());
    if (text.contains(QLatin1String("timeout expired")) || text.contains(QLatin1String("timed out")) ||
        text.contains(QLatin1String("time-out")) || text.contains(QLatin1String("hyt00")))
        return QStringLiteral(
                   "query time-out: a statement ran for more than %1 s and was cancelled (%2; "
                   "[database] query_timeout in velocast.conf)")
            .arg(bounds.queryTimeoutSeconds)
            .arg(errorText.trimmed());
    return QString();
}

SharedConnection::SharedConnection(QString dataLinkPath, QString connectionName)
    : dataLinkPath_(std::move(dataLinkPath)), connectionName_(std::move(connectionName)) {}

SharedConnection::~SharedConnection() {
    close();
    if (QSqlDatabase::contains(connectionName_)) QSqlDatabase::removeDatabase(connectionName_);
}

QSqlDatabase SharedConnection::database() const { return QSqlDatabase::database(connectionName_, false); }

bool SharedConnection::isOpen() const { return QSqlDatabase::contains(connectionName_) && database().isOpen(); }

void SharedConnection::open() {
    const DataLink link = readDataLink(dataLinkPath_);
    close();
    if (QSqlDatabase::contains(connectionName_)) QSqlDatabase::removeDatabase(connectionName_);
    if (!QSqlDatabase::isDriverAvailable(link.qtDriver))
        throw DbError(
            QStringLiteral("the Qt SQL driver %1 is not installed (run scripts/setup.sh)").arg(link.qtDriver));

    if (link.qtDriver == QLatin1String("QSQLITE") && !QFileInfo::exists(link.databaseName))
        throw DbError(
            QStringLiteral("the database file %1 named by %2 does not exist").arg(link.databaseName, link.path));

    QSqlDatabase db = QSqlDatabase::addDatabase(link.qtDriver, connectionName_);
    QString name = link.databaseName;
    if (link.usesOdbc() && link.dialect == Dialect::Mssql) {
        // FreeTDS's own time-out of every statement (its "timeout" setting, given here as any
        // of its settings may be): the driver cancels a statement that has not finished by
        // then, and reports it as SQLSTATE HYT00.
        name += QStringLiteral(";Timeout=%1").arg(bounds.queryTimeoutSeconds);
        if (readOnly) name += QStringLiteral(";ApplicationIntent=ReadOnly");
    }
    db.setDatabaseName(name);
    if (link.usesOdbc())
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(loginTimeoutSeconds) +
                             (readOnly ? QStringLiteral(";SQL_ATTR_ACCESS_MODE=SQL_MODE_READ_ONLY") : QString()));
    else
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000") +
                             (readOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    if (!db.open()) {
        QString why = driverText(db.lastError());
        if (const QString hint = certificateFailureHint(why, link.verifiedHost);
            !link.verifiedHost.isEmpty() && !hint.isEmpty())
            why += QStringLiteral(": ") + hint;
        throw DbError(QStringLiteral("cannot connect to the database of %1: %2")
                          .arg(link.path, explainDatabaseFailure(describeDatabase(link), why)));
    }
    dialect_ = link.dialect;
    ++openCount_;
    if (!link.usesOdbc()) useWriteAheadLog(db);
    if (dialect_ == Dialect::Mssql) {
        // Day-first literals must not depend on the login's language.
        runSetting(db, QStringLiteral("SET DATEFORMAT dmy"));
        runSetting(db, QStringLiteral("SET LOCK_TIMEOUT %1").arg(qint64(bounds.lockTimeoutSeconds) * 1000));
    }
}

bool SharedConnection::readsBesideWrites() {
    if (!isOpen()) open();
    if (dialect_ != Dialect::Sqlite) return true;
    QSqlQuery q(database());
    return q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next() &&
           q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
}

QSqlQuery& SharedConnection::preparedStatement(const QString& sql) {
    auto found = prepared_.find(sql);
    if (found == prepared_.end()) {
        auto query = std::make_shared<QSqlQuery>(database());
        query->setForwardOnly(true);
        if (!query->prepare(sql)) throw DbError(driverText(query->lastError()));
        found = prepared_.insert(sql, std::move(query));
    }
    return **found;
}

OdbcStatements& SharedConnection::odbcStatements() {
    if (!odbcStatements_) odbcStatements_ = std::make_unique<OdbcStatements>();
    return *odbcStatements_;
}

void SharedConnection::close() {
    // Statements go before their connection does.
    prepared_.clear();
    if (odbcStatements_) odbcStatements_->clear();
    if (!QSqlDatabase::contains(connectionName_)) return;
    QSqlDatabase db = database();
    if (db.isOpen()) {
        if (inTransaction_ || chained_) {
            if (dialect_ == Dialect::Mssql && db.driverName() == QLatin1String("QODBC")) {
                // The driver does not disconnect inside a transaction: end it, nothing kept.
                try {
                    endTransaction(db, SQL_ROLLBACK);
                    setAutoCommit(db, true);
                } catch (const DbError&) {}
            } else {
                db.rollback();
            }
        }
        db.close();
    }
    inTransaction_ = false;
    chained_ = false;
}

void SharedConnection::beginTransaction() {
    if (!isOpen()) throw DbError(QStringLiteral("the database connection is closed"));
    if (inTransaction_) throw DbError(QStringLiteral("a transaction is already open"));
    QSqlDatabase db = database();
    if (dialect_ == Dialect::Mssql && db.driverName() == QLatin1String("QODBC")) {
        if (!chained_) setAutoCommit(db, false);
        chained_ = false;
    } else if (!db.transaction()) {
        throw DbError(driverText(db.lastError()));
    }
    inTransaction_ = true;
}

void SharedConnection::commit() {
    if (!inTransaction_ || !isOpen()) throw DbError(QStringLiteral("no transaction is open"));
    QSqlDatabase db = database();
    if (dialect_ == Dialect::Mssql && db.driverName() == QLatin1String("QODBC")) {
        endTransaction(db, SQL_COMMIT);
        chained_ = true;
    } else if (!db.commit()) {
        throw DbError(driverText(db.lastError()));
    }
    inTransaction_ = false;
}

void SharedConnection::rollback() {
    if (!inTransaction_ || !isOpen()) throw DbError(QStringLiteral("no transaction is open"));
    inTransaction_ = false;
    QSqlDatabase db = database();
    if (dialect_ == Dialect::Mssql && db.driverName() == QLatin1String("QODBC")) {
        chained_ = true;  // whatever the answer, auto-commit stays off until settled
        endTransaction(db, SQL_ROLLBACK);
    } else if (!db.rollback()) {
        throw DbError(driverText(db.lastError()));
    }
}

QString SharedConnection::chainedCommitText() const {
    if (dialect_ != Dialect::Mssql || !isOpen() || database().driverName() != QLatin1String("QODBC")) return QString();
    // @@ERROR: a failed statement (a lock not granted) leaves the transaction open for the
    // caller to roll back, and a COMMIT matched by a BEGIN leaves the transaction count as
    // the request found it, as the server wants of a prepared statement.
    return QStringLiteral("; IF @@ERROR = 0 BEGIN COMMIT TRANSACTION; BEGIN TRANSACTION; END");
}

void SharedConnection::committedByStatement() {
    inTransaction_ = false;
    chained_ = true;
}

void SharedConnection::beforeWriteOutside() {
    if (!inTransaction_) settle();
}

void SharedConnection::settle() {
    if (!chained_ || !isOpen()) return;
    chained_ = false;
    setAutoCommit(database(), true);
}

}  // namespace velocast
