#pragma once
// The host database as Velocast sees it: every table it reads or writes, with the columns it
// expects. One definition serves three purposes: the SQLite DDL used by the demo database and
// the tests, the column lists that the session checks when it opens a table, and the widths
// to which written values are cut.
//
// SQLite conventions: date-time columns are TEXT 'YYYY-MM-DD HH:MM:SS'; flags INTEGER 0/1;
// identities INTEGER PRIMARY KEY AUTOINCREMENT; text TEXT; MATRICULA TEXT.
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace velocast {

// The type family the program binds a column with.
enum class ColumnFamily {
    UnicodeText,  // nvarchar(n)
    AnsiText,     // varchar(n), Windows-1252 on the server
    LongText,     // text / memo, read and written as 8-bit text
    Flag,         // bit; NULL reads as false
    DateTime,
    SmallInt,
    Integer,
    Identity,  // numbered by the server, read only to the program
};

struct ColumnDef {
    QString name;
    ColumnFamily family;
    int width = 0;  // characters of a text column; 0 when unlimited, not text, or left to the host
};

// Name of the per-run table before the start time "HHMMSS" is appended. The program creates
// and drops that table itself, so the host schema never contains it.
inline const QString kRunTablePrefix = QStringLiteral("TempFedelidade");

// How RECEB stores the month and year paid. Club databases hold either form, and every
// comparison the program makes must work with both, so tests can build either.
enum class ReceiptColumns { Text, Integer };

struct HostSchemaOptions {
    ReceiptColumns receipts = ReceiptColumns::Text;
    bool indexes = true;  // indexes on MATRICULA and friends: the lookups need them at 100k members
};

// The tables of the host schema in creation order (the run table is not among them).
QStringList hostTables();

// One CREATE TABLE statement per table, SQLite dialect.
QStringList hostSchemaSqlite(const HostSchemaOptions& options = {});

// CREATE INDEX IF NOT EXISTS statements for the lookups the campaigns make, SQLite dialect.
QStringList hostIndexesSqlite();

// Creates every table (and the indexes unless switched off) on an open database, in one
// transaction. Returns false with a message in *error when a statement fails; nothing is
// left half created then.
bool createHostSchema(QSqlDatabase& db, const HostSchemaOptions& options = {}, QString* error = nullptr);

// The columns the program declares when it opens a table as a dataset: opening fails when
// one of them is missing. Defined for Velocast, ControleEmail, Qzcvar2, Qzcvar, Caixa,
// AlunosAtivos (its declared subset) and the run table (any name starting with
// kRunTablePrefix). Table names compare case-insensitively, as on the server. Empty for any
// other table.
QList<ColumnDef> declaredColumnDefs(const QString& table);
QStringList declaredColumns(const QString& table);

// Every column of a host table as this schema defines it (declared or only queried);
// empty for an unknown table. Useful for widths: declaredColumnDefs gives the same entries.
QList<ColumnDef> hostColumns(const QString& table);

// The width of a text column, 0 when unknown or unlimited.
int columnWidth(const QString& table, const QString& column);

}  // namespace velocast
