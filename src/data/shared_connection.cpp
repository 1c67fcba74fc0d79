#include "data/shared_connection.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include "data/db_error.h"

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

}  // namespace

SharedConnection::SharedConnection(QString dataLinkPath, QString connectionName)
    : dataLinkPath_(std::move(dataLinkPath)), connectionName_(std::move(connectionName)) {}

SharedConnection::~SharedConnection() {
    close();
    if (QSqlDatabase::contains(connectionName_)) QSqlDatabase::removeDatabase(connectionName_);
}

QSqlDatabase SharedConnection::database() const {
    return QSqlDatabase::database(connectionName_, false);
}

bool SharedConnection::isOpen() const {
    return QSqlDatabase::contains(connectionName_) && database().isOpen();
}

void SharedConnection::open() {
    const DataLink link = readDataLink(dataLinkPath_);
    close();
    if (QSqlDatabase::contains(connectionName_)) QSqlDatabase::removeDatabase(connectionName_);
    if (!QSqlDatabase::isDriverAvailable(link.qtDriver))
        throw DbError(QStringLiteral("the Qt SQL driver %1 is not installed (run scripts/setup.sh)").arg(link.qtDriver));

    if (link.qtDriver == QLatin1String("QSQLITE") && !QFileInfo::exists(link.databaseName))
        throw DbError(QStringLiteral("the database file %1 named by %2 does not exist")
                          .arg(link.databaseName, link.path));

    QSqlDatabase db = QSqlDatabase::addDatabase(link.qtDriver, connectionName_);
    db.setDatabaseName(link.databaseName);
    if (link.usesOdbc())
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(loginTimeoutSeconds) +
                             (readOnly ? QStringLiteral(";SQL_ATTR_ACCESS_MODE=SQL_MODE_READ_ONLY") : QString()));
    else
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000") +
                             (readOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    if (!db.open()) {
        const QString why = driverText(db.lastError());
        throw DbError(QStringLiteral("cannot connect to the database of %1: %2").arg(link.path, why));
    }
    dialect_ = link.dialect;
    ++openCount_;
    if (!link.usesOdbc()) useWriteAheadLog(db);
    if (dialect_ == Dialect::Mssql) {
        // Day-first literals must not depend on the login's language. Forward-only, so that it
        // goes as a batch of its own: in a server cursor (a procedure call) the server would undo
        // the setting as soon as the call returned.
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SET DATEFORMAT dmy")))
            throw DbError(driverText(q.lastError()));
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

void SharedConnection::close() {
    // Statements go before their connection does.
    prepared_.clear();
    if (!QSqlDatabase::contains(connectionName_)) return;
    QSqlDatabase db = database();
    if (db.isOpen()) {
        if (inTransaction_) db.rollback();
        db.close();
    }
    inTransaction_ = false;
}

void SharedConnection::beginTransaction() {
    if (!isOpen()) throw DbError(QStringLiteral("the database connection is closed"));
    if (inTransaction_) throw DbError(QStringLiteral("a transaction is already open"));
    QSqlDatabase db = database();
    if (!db.transaction()) throw DbError(driverText(db.lastError()));
    inTransaction_ = true;
}

void SharedConnection::commit() {
    if (!inTransaction_ || !isOpen()) throw DbError(QStringLiteral("no transaction is open"));
    QSqlDatabase db = database();
    if (!db.commit()) throw DbError(driverText(db.lastError()));
    inTransaction_ = false;
}

void SharedConnection::rollback() {
    if (!inTransaction_ || !isOpen()) throw DbError(QStringLiteral("no transaction is open"));
    inTransaction_ = false;
    QSqlDatabase db = database();
    if (!db.rollback()) throw DbError(driverText(db.lastError()));
}

}  // namespace velocast
