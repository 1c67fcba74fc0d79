#pragma once
// The database session of one program run: the shared connection, the six tables kept open,
// the business date and the run table. Opened at the start of the daily run, torn down when
// the program ends.
#include <QString>
#include <QTime>
#include <functional>

#include "calendar/date_time.h"
#include "data/database_lock.h"
#include "data/dataset.h"
#include "data/shared_connection.h"

namespace velocast {

class DbError;
class Notices;

class Session {
public:
    Session(SharedConnection& connection, Notices& notices);

    // The session opening: creates the run table, opens the six tables, takes the business
    // date. The run table, the outbox and the members are checked (table and columns) but
    // their rows are not read: the drain requeries the outbox, and the members are read as
    // a forward-only stream by whatever walks them. True when every step succeeded; each failure has already shown its notice.
    // Throws DbError only when the connection is closed (beginning the transaction and its
    // rollback both fail); the caller shows that as the default error report.
    bool ABRE_TABELAS();

    // At program end: closes the tables and drops the run table this session created.
    // Throws DbError when the drop fails; the remaining steps are then not done.
    void teardown();

    // Opens (again) the settings dataset TBLCONTROLE2 on table Qzcvar2; throws DbError. The
    // watchdog calls it every second.
    void openSettings();

    SharedConnection& connection() { return connection_; }
    Dialect dialect() const { return connection_.dialect(); }
    const DateTime& businessDate() const { return businessDate_; }
    // A preview of another day than the cash register's: the campaigns then select for it.
    void setBusinessDate(const DateTime& date) { businessDate_ = date; }
    QString runTableName() const { return TBLTEMPFEDELIDADE.table(); }
    bool runTableCreated() const { return runTableCreated_; }
    // Run tables that runs which never reached their teardown (killed, the machine stopped)
    // left behind, removed by this session's opening. Only a copy that holds the database
    // lock removes them: no other copy can be working with one then.
    int leftOverRunTablesDropped() const { return leftOversDropped_; }

    // Which copy works on this database; the session opening removes left-over run tables
    // only while this copy holds it.
    DatabaseLock databaseLock;

    Dataset TBLCONTROLE{QStringLiteral("TBLCONTROLE")};
    Dataset TBLCONTROLE2{QStringLiteral("TBLCONTROLE2")};
    Dataset TBLVelocast{QStringLiteral("TBLVelocast")};
    Dataset TBLCAIXA{QStringLiteral("TBLCAIXA")};
    Dataset TBLALUNOS{QStringLiteral("TBLALUNOS")};
    Dataset TBLTEMPFEDELIDADE{QStringLiteral("TBLTEMPFEDELIDADE")};

private:
    bool createRunTable();
    // Creates the run table under a name free in the database: the start time's, or that
    // name with "_2", "_3"... when runs that were killed left theirs behind. Its name; throws
    // the last DbError.
    QString createRunTableFreeName();
    static constexpr int kRunTableNameTries = 5;
    // The run tables in the database, this session's included.
    QStringList runTablesInDatabase();
    void dropLeftOverRunTables();
    bool openStep(Dataset& dataset, const QString& table, const QString& detail,
                  Dataset::Rows rows = Dataset::Rows::Read);
    // The detail of an opening notice: the table's name, then the database and the cause.
    QString withCause(const QString& table, const DbError& failure) const;

    SharedConnection& connection_;
    Notices& notices_;
    DateTime businessDate_;
    bool runTableCreated_ = false;
    int leftOversDropped_ = 0;
};

// The statements that create and drop the run table, per dialect.
QString createRunTableSql(Dialect dialect, const QString& name);
QString dropRunTableSql(const QString& name);
// The statement that lists the run tables, per dialect.
QString listRunTablesSql(Dialect dialect);

}  // namespace velocast
