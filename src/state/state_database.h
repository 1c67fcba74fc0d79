#pragma once
// What the program remembers between runs about one club's outbox, kept on this machine in a
// small SQLite file of its own (mode 0600), never in the club's tables: the retry state of
// rows whose recipient or content failed for now, and the times of the messages sent lately,
// which pacing counts. A table of versions lets later tables be added without touching the
// ones here.
#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <optional>

namespace velocast {

// One deferred outbox row. `key` ties the state to the row's content: a row ID the club's
// database hands out again for another row does not inherit an earlier row's attempts.
struct RetryState {
    qint64 rowId = 0;
    QByteArray key;
    int attempts = 0;
    QDateTime firstTry;
    QDateTime nextTry;
    QString lastReply;
};

class StateDatabase {
public:
    StateDatabase() = default;
    ~StateDatabase();
    StateDatabase(const StateDatabase&) = delete;
    StateDatabase& operator=(const StateDatabase&) = delete;

    // The file for a club: `configuredPath` when the machine names one, else
    // state-<hash of the database identity>.sqlite in the account's state folder. Empty
    // with `error` set when the folder cannot be used.
    static QString pathFor(const QString& configuredPath, const QString& databaseIdentity, QString* error);

    // Opens (creating) the file and brings its tables to the current version. False with
    // `error` naming the file and what to change. kInMemory keeps the state for this run only.
    static constexpr const char* kInMemory = ":memory:";
    bool open(const QString& path, QString* error);
    bool isOpen() const { return !connectionName_.isEmpty(); }
    QString path() const { return path_; }
    // The open file, for the tables kept beside these (the send history).
    QSqlDatabase database() const;

    // The key of a row's content: a hash of its address and subject.
    static QByteArray rowKey(const QString& address, const QString& subject);

    // Writes throw std::runtime_error naming the file; reads take a failure for "nothing".
    // The state of `rowId` when it was stored for the same key; nothing otherwise.
    std::optional<RetryState> retryState(qint64 rowId, const QByteArray& key) const;
    void saveRetryState(const RetryState& state);
    void forgetRow(qint64 rowId);
    // Drops retry states last touched before `before` (rows long gone from the outbox).
    void forgetStale(const QDateTime& before);

    // The messages sent: one record each, kept two days.
    void recordSent(const QDateTime& at);
    // How many were sent at or after `since`.
    int sentSince(const QDateTime& since) const;
    // The send time of the `n`-th most recent message (1 = the last), invalid when fewer.
    QDateTime nthLastSent(int n) const;

private:
    QString connectionName_;
    QString path_;
};

}  // namespace velocast
