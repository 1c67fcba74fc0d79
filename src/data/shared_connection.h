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

class SharedConnection {
public:
    // `dataLinkPath` is read anew at every open, as the data-link file names the database.
    explicit SharedConnection(QString dataLinkPath,
                              QString connectionName = QStringLiteral("ADOConnectionKorvana"));
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

    QSqlDatabase database() const;
    // A statement prepared on this connection and kept until it closes, so that a statement
    // run for every outbox row or every recipient is parsed once; throws DbError.
    QSqlQuery& preparedStatement(const QString& sql);
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
    // campaign that reads on a connection of its own beside the shared one.
    bool readOnly = false;

private:
    QString dataLinkPath_;
    QString connectionName_;
    Dialect dialect_ = Dialect::Sqlite;
    bool inTransaction_ = false;
    quint64 openCount_ = 0;
    QHash<QString, std::shared_ptr<QSqlQuery>> prepared_;
};

}  // namespace velocast
