#pragma once
// One copy of the program works on a database at a time, wherever the copies run: the one
// that holds this lock runs the campaigns and drains the outbox; any other stands aside and
// asks again later. Two copies draining one outbox would send every message twice, and two
// copies checking the day's latch together could both run a campaign.
//
// SQL Server: an application lock owned by the shared connection's session
// (sp_getapplock, no wait); it goes with the connection, so it is taken again after a
// reconnect. SQLite: an exclusive lock on a file beside the database, which the kernel
// releases when the process ends, however it ends.
#include <QDateTime>
#include <QString>

#include "data/dialect.h"

namespace velocast {

class SharedConnection;

class DatabaseLock {
public:
    explicit DatabaseLock(SharedConnection& connection);
    ~DatabaseLock();
    DatabaseLock(const DatabaseLock&) = delete;
    DatabaseLock& operator=(const DatabaseLock&) = delete;

    // Takes the lock unless this copy holds it already, without waiting. True when this copy
    // holds it now. A database that cannot be asked (closed, the lock file not writable)
    // counts as not granted; standAsideText() then says why.
    bool take();
    // Whether this copy holds the lock now (on SQL Server: taken on the connection as it is
    // open now, not on one that a reconnect replaced).
    bool held() const;
    void release();

    // Who holds it, as last seen by a take() that was not granted: "HOST, since HH:MM".
    QString holder() const { return holder_; }
    // The line a copy that stands aside shows: who holds the lock, or why it could not be
    // asked for.
    QString standAsideText() const;

    // The lock's name on the server, and the file's name beside a SQLite database.
    static QString resourceName();
    static QString lockFilePath(const QString& databaseFile);

private:
    bool takeOnServer();
    bool takeFile();
    QString serverHolder();

    SharedConnection& connection_;
    quint64 takenOnOpen_ = 0;  // the connection's open count when the server lock was granted
    bool serverHeld_ = false;
    int fileDescriptor_ = -1;
    QString holder_;
    QString problem_;
};

// How a holder is shown: "HOST, since HH:MM" (local time).
QString lockHolderText(const QString& host, const QDateTime& since);

}  // namespace velocast
