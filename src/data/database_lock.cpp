#include "data/database_lock.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSysInfo>
#include <QCoreApplication>

#include "data/data_link.h"
#include "data/db_error.h"
#include "data/lock_file.h"
#include "data/shared_connection.h"

namespace velocast {

namespace {

// sp_getapplock's answers: 0 granted, 1 granted after a wait; -1 not granted in time (another
// session holds it), -2 cancelled, -3 chosen as deadlock victim, -999 a bad call.
constexpr int kGrantedAfterWait = 1;

// The lock for the session, without waiting; the result selected, as a procedure's return
// value does not come back as a row.
const QString kTakeLock = QStringLiteral(
    "DECLARE @VelocastLock int;\n"
    "EXEC @VelocastLock = sp_getapplock @Resource = N'%1', @LockMode = N'Exclusive', @LockOwner = N'Session', "
    "@LockTimeout = 0;\n"
    "SELECT @VelocastLock AS LockResult");

// The host and login time of the session that holds it (its resource reads "0:[Velocast]:(hash)").
const QString kLockHolder = QStringLiteral(
    "SELECT TOP 1 s.host_name, s.login_time FROM sys.dm_tran_locks l "
    "JOIN sys.dm_exec_sessions s ON s.session_id = l.request_session_id "
    "WHERE l.resource_type = 'APPLICATION' AND l.resource_database_id = DB_ID() "
    "AND l.request_owner_type = 'SESSION' AND l.resource_description LIKE '%[[]%1]%'");

// Runs a batch and returns the first row of the first result that has columns: a batch that
// declares and executes before its SELECT may answer with results that carry none first.
QVariantList firstRowOfBatch(SharedConnection& connection, const QString& sql) {
    QSqlQuery query(connection.database());
    // Forward-only, so that the batch goes as it is, not inside a server cursor.
    query.setForwardOnly(true);
    if (!query.exec(sql)) throw DbError(query.lastError().text().trimmed());
    while (!query.isSelect()) {
        if (!query.nextResult()) return {};
    }
    QVariantList row;
    if (query.next())
        for (int i = 0; i < query.record().count(); ++i) row << query.value(i);
    // Read to the end: results left unread make the driver cancel the batch (an attention),
    // one more round trip on SQL Server.
    do {
        while (query.next()) {}
    } while (query.nextResult());
    return row;
}

}  // namespace

QString lockHolderText(const QString& host, const QDateTime& since) {
    const QString who = host.trimmed().isEmpty() ? QStringLiteral("an unknown host") : host.trimmed();
    const QString when =
        since.isValid() ? since.toLocalTime().toString(QStringLiteral("HH:mm")) : QStringLiteral("an unknown time");
    return who + QStringLiteral(", since ") + when;
}

DatabaseLock::DatabaseLock(SharedConnection& connection) : connection_(connection) {}

DatabaseLock::~DatabaseLock() { release(); }

QString DatabaseLock::resourceName() { return QStringLiteral("Velocast"); }

QString DatabaseLock::lockFilePath(const QString& databaseFile) {
    return databaseFile + QStringLiteral("-velocast.lock");
}

QString DatabaseLock::standAsideText() const {
    if (!problem_.isEmpty())
        return QStringLiteral(
                   "the database lock cannot be asked for, so this copy neither runs the campaigns nor sends: ") +
               problem_;
    return QStringLiteral("another Velocast is working on this database: ") + holder_;
}

bool DatabaseLock::held() const {
    if (fileDescriptor_ >= 0) return true;
    return serverHeld_ && takenOnOpen_ == connection_.openCount() && connection_.isOpen();
}

bool DatabaseLock::take() {
    if (held()) return true;
    serverHeld_ = false;
    problem_.clear();
    try {
        const DataLink link = readDataLink(connection_.dataLinkPath());
        return link.qtDriver == QLatin1String("QSQLITE") ? takeFile() : takeOnServer();
    } catch (const DbError& e) {
        problem_ = e.message();
        return false;
    }
}

bool DatabaseLock::takeOnServer() {
    if (!connection_.isOpen()) throw DbError(QStringLiteral("the database connection is closed"));
    // The session owns the lock: it lasts while this connection is open and goes with it,
    // a crash included, and no transaction has to stay open for it.
    const QVariantList answer = firstRowOfBatch(connection_, kTakeLock.arg(resourceName()));
    bool number = false;
    const int result = answer.isEmpty() ? -999 : answer.first().toInt(&number);
    if (number && result >= 0 && result <= kGrantedAfterWait) {
        serverHeld_ = true;
        takenOnOpen_ = connection_.openCount();
        return true;
    }
    holder_ = serverHolder();
    return false;
}

QString DatabaseLock::serverHolder() {
    // Who holds it, as far as the server tells this login: reading other sessions needs the
    // VIEW SERVER STATE permission, and without it the holder stays unnamed.
    try {
        const QVariantList row = firstRowOfBatch(connection_, kLockHolder.arg(resourceName()));
        if (row.size() >= 2) return lockHolderText(row.at(0).toString(), row.at(1).toDateTime());
    } catch (const DbError&) {}
    return lockHolderText(QString(), QDateTime());
}

bool DatabaseLock::takeFile() {
    const QString path = lockFilePath(readDataLink(connection_.dataLinkPath()).databaseName);
    // Who holds it, for the copies that stand aside.
    const QByteArray who = QSysInfo::machineHostName().toUtf8() + '\n' +
                           QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toUtf8() + '\n' +
                           QByteArray::number(QCoreApplication::applicationPid()) + '\n';
    QByteArray written;
    const int handle = lockFileExclusively(path, who, &written);
    if (handle >= 0) {
        fileDescriptor_ = handle;
        return true;
    }
    const QList<QByteArray> lines = written.split('\n');
    holder_ = lockHolderText(lines.value(0).isEmpty() ? QString() : QString::fromUtf8(lines.value(0)),
                             QDateTime::fromString(QString::fromUtf8(lines.value(1)), Qt::ISODate));
    return false;
}

void DatabaseLock::release() {
    if (fileDescriptor_ >= 0) {
        unlockFile(fileDescriptor_);
        fileDescriptor_ = -1;
    }
    if (held() && connection_.isOpen()) {
        QSqlQuery query(connection_.database());
        query.setForwardOnly(true);
        query.exec(
            QStringLiteral("EXEC sp_releaseapplock @Resource = N'%1', @LockOwner = N'Session'").arg(resourceName()));
    }
    serverHeld_ = false;
}

}  // namespace velocast
