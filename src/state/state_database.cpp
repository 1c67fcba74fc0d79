#include "state/state_database.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <stdexcept>

#include "platform/identity_digest.h"
#include "platform/account_folders.h"

namespace velocast {

namespace {

// The versions, in order: each brings the tables it names. A later table goes in a new entry;
// an older file is brought up to date by the entries it has not seen.
const char* const kSchema[] = {
    "CREATE TABLE retry_state (row_id INTEGER PRIMARY KEY, row_key TEXT NOT NULL, attempts INTEGER NOT NULL, "
    "first_try INTEGER NOT NULL, next_try INTEGER NOT NULL, last_reply TEXT NOT NULL);"
    "CREATE TABLE sent (at INTEGER NOT NULL);"
    "CREATE INDEX sent_at ON sent (at)",
    // What became of each row, looked up by time (retention, the last days) and by address.
    "CREATE TABLE send_history (id INTEGER PRIMARY KEY, at INTEGER NOT NULL, outcome TEXT NOT NULL, "
    "address TEXT NOT NULL, subject TEXT NOT NULL, campaign TEXT NOT NULL, message_id TEXT NOT NULL, "
    "reply TEXT NOT NULL);"
    "CREATE INDEX send_history_at ON send_history (at);"
    "CREATE INDEX send_history_address ON send_history (address COLLATE NOCASE)",
    // Addresses no e-mail goes to (by scope), and the delivery reports' events that led there,
    // each under a key of its own so that a report read twice counts once. Reports are matched
    // to the messages sent by their Message-ID.
    "CREATE TABLE suppression (address TEXT NOT NULL, scope TEXT NOT NULL, reason TEXT NOT NULL, "
    "at INTEGER NOT NULL, source TEXT NOT NULL, PRIMARY KEY (address, scope));"
    "CREATE TABLE bounce_event (event_key TEXT PRIMARY KEY, address TEXT NOT NULL, kind TEXT NOT NULL, "
    "at INTEGER NOT NULL, counted INTEGER NOT NULL);"
    "CREATE INDEX bounce_event_address ON bounce_event (address, at);"
    "CREATE INDEX send_history_message_id ON send_history (message_id)",
    // The outbox row an entry came from: a row without an address is known by it alone.
    "ALTER TABLE send_history ADD COLUMN outbox_row INTEGER",
    // The club's secrets made on this machine (the key of the opt-out tokens), and the
    // business dates whose daily report went out.
    "CREATE TABLE club_secret (name TEXT PRIMARY KEY, value BLOB NOT NULL);"
    "CREATE TABLE report_sent (business_date TEXT PRIMARY KEY, at INTEGER NOT NULL)",
    // A compact history: a club sending thousands a day keeps millions of entries. The texts
    // that repeat (addresses, subjects, campaigns, the fixed parts of Message-IDs and replies)
    // are stored once in history_text; an entry keeps their numbers, the outcome as a small
    // code and only the parts of its Message-ID and reply that differ from message to message.
    // Entries of the earlier table keep their whole Message-ID and reply, in place of those parts.
    "ALTER TABLE send_history RENAME TO send_history_before;"
    "DROP INDEX send_history_at;"
    "DROP INDEX send_history_address;"
    "DROP INDEX send_history_message_id;"
    "CREATE TABLE history_text (id INTEGER PRIMARY KEY, text TEXT NOT NULL UNIQUE);"
    "CREATE TABLE history_address (id INTEGER PRIMARY KEY, address TEXT NOT NULL);"
    "CREATE INDEX history_address_nocase ON history_address (address COLLATE NOCASE);"
    "CREATE TABLE send_history (id INTEGER PRIMARY KEY, at INTEGER NOT NULL, outcome INTEGER NOT NULL, "
    "address INTEGER NOT NULL, subject INTEGER NOT NULL, campaign INTEGER NOT NULL, message_id, "
    "message_id_form INTEGER, reply TEXT, reply_form INTEGER, outbox_row INTEGER);"
    "INSERT INTO history_address (address) SELECT DISTINCT address FROM send_history_before;"
    "INSERT INTO history_text (text) SELECT subject FROM send_history_before UNION "
    "SELECT campaign FROM send_history_before;"
    "INSERT INTO send_history (id, at, outcome, address, subject, campaign, message_id, reply, outbox_row) "
    "SELECT h.id, h.at, CASE h.outcome WHEN 'sent' THEN 0 WHEN 'refused' THEN 1 WHEN 'invalid' THEN 2 "
    "WHEN 'deferred' THEN 3 WHEN 'given-up' THEN 4 WHEN 'bounced' THEN 5 WHEN 'suppressed' THEN 6 "
    "WHEN 'removed by the staff' THEN 7 WHEN 'opted-out' THEN 8 ELSE 2 END, "
    "(SELECT id FROM history_address WHERE address = h.address), (SELECT id FROM history_text WHERE text = h.subject), "
    "(SELECT id FROM history_text WHERE text = h.campaign), NULLIF(h.message_id, ''), NULLIF(h.reply, ''), "
    "h.outbox_row FROM send_history_before h;"
    "DROP TABLE send_history_before;"
    "CREATE INDEX send_history_at ON send_history (at);"
    "CREATE INDEX send_history_address ON send_history (address);"
    "CREATE INDEX send_history_message_id ON send_history ((CASE WHEN message_id_form IS NULL THEN "
    "substr(message_id, max(instr(message_id, '@') - 4, 1), min(4, instr(message_id, '@') - 1)) ELSE "
    "substr(message_id, -4) END)) WHERE outcome = 0",
};

// The largest state file brought to incremental vacuuming when its schema changes.
constexpr qint64 kRewriteAtMostBytes = 64 * 1024 * 1024;

// A write that does not reach the file would make the program retry or pace wrongly without
// anyone knowing: it is an error the drain reports.
void run(QSqlQuery& q, const QString& path) {
    if (!q.exec())
        throw std::runtime_error(QStringLiteral("the state database %1 cannot be written (%2); check the disk and the "
                                                "file's permissions, or set [state] database in velocast.conf")
                                     .arg(path, q.lastError().text())
                                     .toStdString());
}

qint64 seconds(const QDateTime& t) { return t.toSecsSinceEpoch(); }
QDateTime fromSeconds(qint64 s) { return QDateTime::fromSecsSinceEpoch(s); }

// The state says which recipients a club writes to: only this account reads it. Created
// with mode 0600 before SQLite opens it, so it is never readable by others, not even briefly.
bool createPrivateState(const QString& path, QString* error) {
    bool notPrivate = false;
    if (velocast::makePrivateFile(path, &notPrivate)) return true;
    *error = notPrivate
                 ? QStringLiteral("the state database %1 belongs to another user or cannot be made private (mode 0600)")
                       .arg(path)
                 : QStringLiteral(
                       "the state database %1 cannot be created; set [state] database in velocast.conf "
                       "to a file this account may write")
                       .arg(path);
    return false;
}

}  // namespace

StateDatabase::~StateDatabase() {
    if (connectionName_.isEmpty()) return;
    QSqlDatabase::database(connectionName_, false).close();
    const QString name = connectionName_;
    connectionName_.clear();
    QSqlDatabase::removeDatabase(name);
}

QString StateDatabase::pathFor(const QString& configuredPath, const QString& databaseIdentity, QString* error) {
    if (!configuredPath.isEmpty()) return configuredPath;
    const QString folder = accountStateDirectory(error);
    if (folder.isEmpty()) return {};
    return folder + QStringLiteral("/state-") + identityDigest(databaseIdentity, 16) + QStringLiteral(".sqlite");
}

bool StateDatabase::open(const QString& path, QString* error) {
    if (path != QLatin1String(kInMemory) && !createPrivateState(path, error)) return false;
    const QString name = QStringLiteral("velocast-state-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        bool ok = db.open();
        QSqlQuery q(db);
        // One record per message sent: without the write-ahead log every one would cost a
        // disk flush, as much as the message itself. A crash of the system may lose the last
        // few, which only lets pacing count a handful fewer.
        // Space the pruned history frees goes back to the disk a little at a time; a file that
        // is new takes it here, before its first table.
        ok = ok && q.exec(QStringLiteral("PRAGMA auto_vacuum=INCREMENTAL"));
        ok = ok && q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) &&
             q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        ok = ok && q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"));
        int version = 0;
        if (ok && q.exec(QStringLiteral("SELECT MAX(version) FROM schema_version")) && q.next())
            version = q.value(0).toInt();
        const int latest = static_cast<int>(std::size(kSchema));
        for (int v = version; ok && v < latest; ++v) {
            ok = db.transaction();
            for (const QString& statement : QString::fromLatin1(kSchema[v]).split(u';')) ok = ok && q.exec(statement);
            ok = ok && q.exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(v + 1));
            ok = ok ? db.commit() : (db.rollback(), false);
        }
        // A file made before that keeps its space until it is rewritten once; a small one is
        // rewritten now (a moment), a large one is left as it is: it reuses the pages it frees.
        if (ok && version < latest && path != QLatin1String(kInMemory) &&
            QFileInfo(path).size() < kRewriteAtMostBytes && q.exec(QStringLiteral("PRAGMA auto_vacuum")) && q.next() &&
            q.value(0).toInt() != 2)
            ok = q.exec(QStringLiteral("VACUUM"));
        if (!ok) {
            *error = QStringLiteral(
                         "the state database %1 cannot be used (%2); move it aside or set [state] database "
                         "in velocast.conf")
                         .arg(path, (q.lastError().isValid() ? q.lastError() : db.lastError()).text());
            db.close();
        }
        if (!ok) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return false;
        }
    }
    connectionName_ = name;
    path_ = path;
    return true;
}

QSqlDatabase StateDatabase::database() const { return QSqlDatabase::database(connectionName_, false); }

QByteArray StateDatabase::rowKey(const QString& address, const QString& subject) {
    return QCryptographicHash::hash((address + QChar(u'\n') + subject).toUtf8(), QCryptographicHash::Sha256)
        .toHex()
        .left(32);
}

std::optional<RetryState> StateDatabase::retryState(qint64 rowId, const QByteArray& key) const {
    QSqlQuery q(QSqlDatabase::database(connectionName_, false));
    q.prepare(QStringLiteral(
        "SELECT attempts, first_try, next_try, last_reply FROM retry_state WHERE row_id = ? AND row_key = ?"));
    q.addBindValue(rowId);
    q.addBindValue(QString::fromLatin1(key));
    if (!q.exec() || !q.next()) return std::nullopt;
    return RetryState{rowId,
                      key,
                      q.value(0).toInt(),
                      fromSeconds(q.value(1).toLongLong()),
                      fromSeconds(q.value(2).toLongLong()),
                      q.value(3).toString()};
}

void StateDatabase::saveRetryState(const RetryState& s) {
    QSqlQuery q(QSqlDatabase::database(connectionName_, false));
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO retry_state (row_id, row_key, attempts, first_try, next_try, last_reply) "
        "VALUES (?, ?, ?, ?, ?, ?)"));
    for (const QVariant& v : {QVariant(s.rowId), QVariant(QString::fromLatin1(s.key)), QVariant(s.attempts),
                              QVariant(seconds(s.firstTry)), QVariant(seconds(s.nextTry)), QVariant(s.lastReply)})
        q.addBindValue(v);
    run(q, path_);
}

void StateDatabase::forgetRow(qint64 rowId) {
    QSqlQuery q(QSqlDatabase::database(connectionName_, false));
    q.prepare(QStringLiteral("DELETE FROM retry_state WHERE row_id = ?"));
    q.addBindValue(rowId);
    run(q, path_);
}

void StateDatabase::forgetStale(const QDateTime& before) {
    QSqlQuery q(QSqlDatabase::database(connectionName_, false));
    q.prepare(QStringLiteral("DELETE FROM retry_state WHERE next_try < ?"));
    q.addBindValue(seconds(before));
    run(q, path_);
}

void StateDatabase::recordSent(const QDateTime& at) {
    QSqlQuery q(QSqlDatabase::database(connectionName_, false));
    q.prepare(QStringLiteral("INSERT INTO sent (at) VALUES (?)"));
    q.addBindValue(seconds(at));
    run(q, path_);
    // Pacing looks back one day at most; older records only grow the file.
    q.prepare(QStringLiteral("DELETE FROM sent WHERE at < ?"));
    q.addBindValue(seconds(at) - 2 * 86400);
    run(q, path_);
}

int StateDatabase::sentSince(const QDateTime& since) const {
    QSqlQuery q(QSqlDatabase::database(connectionName_, false));
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM sent WHERE at >= ?"));
    q.addBindValue(seconds(since));
    return q.exec() && q.next() ? q.value(0).toInt() : 0;
}

QDateTime StateDatabase::nthLastSent(int n) const {
    QSqlQuery q(QSqlDatabase::database(connectionName_, false));
    q.prepare(QStringLiteral("SELECT at FROM sent ORDER BY at DESC LIMIT 1 OFFSET ?"));
    q.addBindValue(n - 1);
    return q.exec() && q.next() ? fromSeconds(q.value(0).toLongLong()) : QDateTime();
}

}  // namespace velocast
