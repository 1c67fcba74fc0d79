#include "data/session.h"

#include <QRegularExpression>

#include "calendar/clock.h"
#include "data/db_error.h"
#include "data/failure_cause.h"
#include "data/host_schema.h"
#include "notices/notices.h"
#include "data/sql_statement.h"

namespace velocast {

QString createRunTableSql(Dialect dialect, const QString& name) {
    // SQL Server accepts the trailing comma of the column list; SQLite does not.
    if (dialect == Dialect::Mssql)
        return QStringLiteral("CREATE TABLE ") + name + QStringLiteral("\n(MATRICULA NVARCHAR(10), )");
    return QStringLiteral("CREATE TABLE ") + name + QStringLiteral("\n(MATRICULA NVARCHAR(10))");
}

QString dropRunTableSql(const QString& name) { return QStringLiteral("DROP TABLE ") + name; }

QString listRunTablesSql(Dialect dialect) {
    // The prefix's letters are no LIKE wildcards; both servers compare them without regard
    // to case, as they do table names.
    if (dialect == Dialect::Mssql)
        return QStringLiteral("SELECT name FROM sys.tables WHERE schema_id = SCHEMA_ID() AND name LIKE '") +
               kRunTablePrefix + QStringLiteral("%'");
    return QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE '") + kRunTablePrefix +
           QStringLiteral("%'");
}

Session::Session(SharedConnection& connection, Notices& notices)
    : databaseLock(connection), connection_(connection), notices_(notices) {
    TBLTEMPFEDELIDADE.setTable(QStringLiteral("TEMPFEDELIDADE"));
}

QStringList Session::runTablesInDatabase() {
    QSqlQuery query = runSql(connection_, listRunTablesSql(connection_.dialect()));
    QStringList names;
    while (query.next()) names << query.value(0).toString();
    return names;
}

QString Session::createRunTableFreeName() {
    // A run that was killed leaves its table behind, and a burst of crashes and restarts
    // leaves one per second or more. The name keeps the start time and gets a number when
    // that is taken; should another start take the name first, the next number is tried (a
    // failed statement leaves the transaction open on both servers), and only the last
    // failure counts.
    const QString base = kRunTablePrefix + localNow().time().toString(QStringLiteral("HHmmss"));
    QStringList taken;
    try {
        taken = runTablesInDatabase();
    } catch (const DbError&) {
        // Unlisted, the creation itself finds out which names are free.
    }
    auto isTaken = [&](const QString& name) { return taken.contains(name, Qt::CaseInsensitive); };
    int number = 1;
    auto nextFree = [&] {
        QString name;
        do {
            name = number == 1 ? base : base + QStringLiteral("_%1").arg(number);
            ++number;
        } while (isTaken(name));
        return name;
    };
    for (int attempt = 1;; ++attempt) {
        const QString name = nextFree();
        try {
            runSql(connection_, createRunTableSql(connection_.dialect(), name));
            return name;
        } catch (const DbError&) {
            if (attempt == kRunTableNameTries) throw;
        }
    }
}

void Session::dropLeftOverRunTables() {
    leftOversDropped_ = 0;
    QStringList names;
    try {
        names = runTablesInDatabase();
    } catch (const DbError&) {
        return;  // left for the next run; nothing of this one depends on it
    }
    // Only names this program gives its run tables: a club's own table that merely begins
    // alike (LIKE ignores case on both servers) is never dropped.
    static const QRegularExpression ours(QStringLiteral("^%1[0-9]{6}(_[0-9]+)?$").arg(kRunTablePrefix),
                                         QRegularExpression::CaseInsensitiveOption);
    for (const QString& name : names) {
        if (!ours.match(name).hasMatch()) continue;
        if (name.compare(TBLTEMPFEDELIDADE.table(), Qt::CaseInsensitive) == 0) continue;
        try {
            runSql(connection_, dropRunTableSql(name));
            ++leftOversDropped_;
        } catch (const DbError&) {
            // Someone else's table of that prefix, or not ours to drop: it stays.
        }
    }
}

QString Session::withCause(const QString& table, const DbError& failure) const {
    // The table's name stays the detail's first line, as it always was; the second says which
    // database and why, since a missing file, another club's database and a missing column
    // would otherwise all look alike.
    return table + QLatin1Char('\n') + databaseFailureCause(connection_, failure.message());
}

bool Session::createRunTable() {
    connection_.beginTransaction();  // a closed connection fails here, and is passed on
    try {
        const QString name = createRunTableFreeName();
        TBLTEMPFEDELIDADE.setTable(name);
        connection_.commit();
        runTableCreated_ = true;  // only now: a table whose creation was not committed is no one's to drop
        return true;
    } catch (const DbError& failure) {
        if (connection_.inTransaction()) {
            try {
                connection_.rollback();
            } catch (const DbError&) {
                // The database ended the transaction itself (SQLite does on an I/O error, as
                // with a data source that is no database): what is worth reporting is the
                // failure that did it, not "no transaction is active".
                throw failure;
            }
        }
        notices_.MOSTRA_AVISO(QStringLiteral("!"), kAberturaDeTabela,
                              withCause(QStringLiteral("TempFedelidade"), failure));
        return false;
    }
}

bool Session::openStep(Dataset& dataset, const QString& table, const QString& detail, Dataset::Rows rows) {
    if (dataset.isOpen()) return true;
    try {
        dataset.openTable(connection_, table, declaredColumns(table), rows);
        return true;
    } catch (const DbError& failure) {
        notices_.MOSTRA_AVISO(QStringLiteral("!"), kAberturaDeTabela, withCause(detail, failure));
        return false;
    }
}

void Session::openSettings() {
    TBLCONTROLE2.openTable(connection_, QStringLiteral("Qzcvar2"), declaredColumns(QStringLiteral("Qzcvar2")));
}

bool Session::ABRE_TABELAS() {
    if (!createRunTable()) return false;
    if (databaseLock.held()) dropLeftOverRunTables();
    // The run table (empty), the outbox (requeried by every drain) and the members (walked
    // by the loyalty campaign with a query of its own) are checked, not read.
    if (!openStep(TBLTEMPFEDELIDADE, TBLTEMPFEDELIDADE.table(), QStringLiteral("TempFedelidade"), Dataset::Rows::Skip))
        return false;
    if (!openStep(TBLCONTROLE, QStringLiteral("Qzcvar"), QStringLiteral("Controle"))) return false;
    if (!openStep(TBLCONTROLE2, QStringLiteral("Qzcvar2"), QStringLiteral("Controle2"))) return false;
    if (!openStep(TBLVelocast, QStringLiteral("Velocast"), QStringLiteral("Velocast"), Dataset::Rows::Skip))
        return false;
    if (!TBLCAIXA.isOpen()) {
        try {
            TBLCAIXA.openTable(connection_, QStringLiteral("Caixa"), declaredColumns(QStringLiteral("Caixa")));
            TBLCAIXA.last();
            // No row, or a NULL opening date, leaves the zero date.
            businessDate_ =
                TBLCAIXA.eof() ? DateTime() : dateTimeFromColumn(TBLCAIXA.value(QStringLiteral("DATAABERTURA")));
        } catch (const DbError& failure) {
            notices_.MOSTRA_AVISO(QStringLiteral("!"), kAberturaDeTabela, withCause(QStringLiteral("Caixa"), failure));
            return false;
        }
    }
    if (!openStep(TBLALUNOS, QStringLiteral("AlunosAtivos"), QStringLiteral("Alunos"), Dataset::Rows::Skip))
        return false;
    return true;
}

void Session::teardown() {
    TBLTEMPFEDELIDADE.close();
    // Only the table this run created is dropped: a host table that happens to carry the
    // placeholder name must never be removed.
    if (runTableCreated_) {
        runSql(connection_, dropRunTableSql(TBLTEMPFEDELIDADE.table()));
        runTableCreated_ = false;
    }
    for (Dataset* d : {&TBLALUNOS, &TBLCAIXA, &TBLCONTROLE, &TBLCONTROLE2, &TBLVelocast}) d->close();
}

}  // namespace velocast
