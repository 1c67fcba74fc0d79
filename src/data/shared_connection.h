#pragma once
// The program's one connection to the club's database. Everything the program does in the
// database goes through it, one explicit transaction at a time.
#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <memory>

#include "data/data_link.h"
#include "data/dialect.h"

namespace velocast {

class OdbcStatements;

class SharedConnection {
public:
    // `dataLinkPath` is read anew at every open, as the data-link file names the database.
    explicit SharedConnection(QString dataLinkPath, QString connectionName = QStringLiteral("ADOConnectionKorvana"));
    ~SharedConnection();
    SharedConnection(const SharedConnection&) = delete;
    SharedConnection& operator=(const SharedConnection&) = delete;

    // Opens the connection; throws DbError (bad data-link file, server not reachable, ...).
    void open();
    // Closes it; an open transaction is rolled back first. Never throws.
    void close();
    bool isOpen() const;

    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const { return inTransaction_; }
    // On SQL Server a commit or rollback begins the next transaction in the same round trip,
    // and the next beginTransaction() takes that one instead of asking the server again; a
    // read between the two runs in it as it would outside (read committed keeps no lock
    // after the read). A write outside a transaction first ends it (beforeWriteOutside), and
    // settle() ends it when the connection is about to stay idle.
    void beforeWriteOutside();
    void settle();
    // On SQL Server, the text that, put after a statement, commits the open transaction when
    // the statement succeeded and begins the next, as commit() would, in the statement's own
    // request; committedByStatement() then records it. Empty where that cannot be.
    QString chainedCommitText() const;
    void committedByStatement();

    QSqlDatabase database() const;
    // A statement prepared on this connection and kept until it closes, so that a statement
    // run for every outbox row or every recipient is parsed once; throws DbError.
    QSqlQuery& preparedStatement(const QString& sql);
    // The writes prepared on this ODBC connection, kept until it closes.
    OdbcStatements& odbcStatements();
    Dialect dialect() const { return dialect_; }
    // Whether a reader on another connection leaves this database's writers alone: always on
    // SQL Server, on SQLite only in the write-ahead log (a file that kept its rollback journal
    // makes a writer wait for every reader). Throws DbError when the connection cannot open.
    bool readsBesideWrites();
    const QString& dataLinkPath() const { return dataLinkPath_; }
    const QString& connectionName() const { return connectionName_; }
    // How many times the connection was opened: what belongs to the server session (an
    // application lock) is gone once this has moved on.
    quint64 openCount() const { return openCount_; }

    // A server that accepts the TCP connection and then never answers must not block the
    // program: the ODBC login gives up after this many seconds.
    int loginTimeoutSeconds = 15;
    // Asks the driver for a connection that cannot write (set before open()); for a
    // campaign that reads on a connection of its own beside the shared one. On SQL Server the
    // login says so too, so that the server may route it to a readable replica.
    bool readOnly = false;

    // How long a statement may wait on SQL Server (set before open()). The club's own system
    // holds locks on the tables the campaigns read; without a bound a campaign or a drain
    // blocked by it would wait, and hold its own transaction open, for ever.
    struct Bounds {
        int queryTimeoutSeconds = 60;  // the driver cancels a statement that runs longer
        int lockTimeoutSeconds = 30;   // the server gives up waiting for a lock (error 1222)
    };
    Bounds bounds;
    // The error text with what it means and which setting changes it when the server or the
    // driver gave up on a time-out (a lock not granted, a statement running too long); empty
    // for any other error.
    QString timeoutExplanation(const QString& errorText) const;

private:
    QString dataLinkPath_;
    QString connectionName_;
    Dialect dialect_ = Dialect::Sqlite;
    bool inTransaction_ = false;
    bool chained_ = false;  // SQL Server: auto-commit off, an empty transaction open
    quint64 openCount_ = 0;
    QHash<QString, std::shared_ptr<QSqlQuery>> prepared_;
    std::unique_ptr<OdbcStatements> odbcStatements_;
};

}  // namespace velocast
