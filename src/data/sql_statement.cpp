#include "data/sql_statement.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include "data/db_error.h"
#include "data/host_schema.h"
#include "data/odbc_bound_statement.h"
#include "data/shared_connection.h"

namespace velocast {

namespace {

struct Placeholder {
    qsizetype at;      // position of the colon
    qsizetype length;  // colon and name
    QString name;
};

// The ":NAME" placeholders of a statement, in order, outside quoted literals.
QList<Placeholder> scanPlaceholders(const QString& sql) {
    QList<Placeholder> found;
    QChar quote;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            if (c == quote) quote = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
        } else if (c == QLatin1Char(':') && i + 1 < sql.size() &&
                   (sql.at(i + 1).isLetter() || sql.at(i + 1) == QLatin1Char('_')) &&
                   (i == 0 || sql.at(i - 1) != QLatin1Char(':'))) {
            qsizetype j = i + 1;
            while (j < sql.size() && (sql.at(j).isLetterOrNumber() || sql.at(j) == QLatin1Char('_'))) ++j;
            found.append({i, j - i, sql.mid(i + 1, j - i - 1)});
            i = j - 1;
        }
    }
    return found;
}

// A statement that only reads: it may run in the empty transaction a commit left open.
bool readsOnly(const QString& sql) {
    return sql.trimmed()
               .section(QRegularExpression(QStringLiteral("\\s")), 0, 0)
               .compare(QLatin1String("SELECT"), Qt::CaseInsensitive) == 0;
}

// A statement that changes rows and returns none.
bool returnsNoRows(const QString& sql) {
    const QString start = sql.trimmed().section(QRegularExpression(QStringLiteral("\\s")), 0, 0).toUpper();
    return start == QLatin1String("INSERT") || start == QLatin1String("UPDATE") || start == QLatin1String("DELETE");
}

// The declared width of each placeholder named after a text column of the table that an
// INSERT or UPDATE writes (the outbox's :Email is its column Email).
QList<int> textWidthsOf(const QString& sql, const QList<Placeholder>& placeholders) {
    static const QRegularExpression target(QStringLiteral("^\\s*(?:INSERT\\s+INTO|UPDATE)\\s+(\\w+)"),
                                           QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = target.match(sql);
    QList<int> widths;
    if (!m.hasMatch()) return widths;
    const QList<ColumnDef> columns = hostColumns(m.captured(1));
    for (const Placeholder& p : placeholders) {
        int width = kUndeclaredWidth;
        for (const ColumnDef& c : columns)
            if (c.name.compare(p.name, Qt::CaseInsensitive) == 0)
                width = c.family == ColumnFamily::LongText ? kLongTextWidth : c.width;
        widths << width;
    }
    return widths;
}

// The statement with ODBC's "?" in place of each placeholder, and the values in their order.
struct Marked {
    QString sql;
    QVariantList values;
};
Marked markedForOdbc(const QString& sql, const QList<Placeholder>& placeholders, const QVariantMap& parameters) {
    Marked m{sql, {}};
    for (qsizetype k = placeholders.size() - 1; k >= 0; --k)
        m.sql.replace(placeholders.at(k).at, placeholders.at(k).length, QStringLiteral("?"));
    for (const Placeholder& p : placeholders) m.values << parameters.value(p.name);
    return m;
}

// On ODBC, a statement that writes rows binds its values itself (see odbc_bound_statement.h),
// so that text reaches the server as Unicode. One that runs many times is prepared once per
// connection; one that runs once is executed directly.
enum class Runs { Once, Many };
void runBoundOnOdbc(SharedConnection& connection, const QString& sql, const QList<Placeholder>& placeholders,
                    const QVariantMap& parameters, Runs runs) {
    const Marked m = markedForOdbc(sql, placeholders, parameters);
    if (runs == Runs::Many)
        connection.odbcStatements().exec(connection.database(), m.sql, m.values, textWidthsOf(sql, placeholders));
    else connection.odbcStatements().execOnce(connection.database(), m.sql, m.values, textWidthsOf(sql, placeholders));
}

}  // namespace

QStringList placeholdersOf(const QString& sql) {
    QStringList names;
    for (const Placeholder& p : scanPlaceholders(sql)) names << p.name;
    return names;
}

namespace {

// Every placeholder bound, and nothing bound that the statement does not have.
QStringList checkedPlaceholders(const QString& sql, const QVariantMap& parameters) {
    const QStringList names = placeholdersOf(sql);
    for (const QString& name : names)
        if (!parameters.contains(name))
            throw DbError(QStringLiteral("parameter :%1 of the statement was not given a value").arg(name));
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        if (!names.contains(it.key()))
            throw DbError(QStringLiteral("the statement has no parameter :%1").arg(it.key()));
    return names;
}

}  // namespace

namespace {

// On SQLite: the statement prepared once on the connection, its placeholders checked and its
// parameters bound.
QSqlQuery& boundPrepared(SharedConnection& connection, const QString& sql, const QVariantMap& parameters) {
    checkedPlaceholders(sql, parameters);
    QSqlQuery& query = connection.preparedStatement(sql);
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        query.bindValue(QLatin1Char(':') + it.key(), it.value());
    return query;
}

bool overOdbc(SharedConnection& connection) { return connection.database().driverName() == QLatin1String("QODBC"); }

}  // namespace

void runPrepared(SharedConnection& connection, const QString& sql, const QVariantMap& parameters) {
    if (!connection.isOpen()) connection.open();
    connection.beforeWriteOutside();
    // Over ODBC a write binds its values itself, as Unicode (runBoundOnOdbc).
    if (overOdbc(connection)) {
        const QStringList names = checkedPlaceholders(sql, parameters);
        if (names.isEmpty() || !returnsNoRows(sql)) {
            runSql(connection, sql, parameters);
            return;
        }
        runBoundOnOdbc(connection, sql, scanPlaceholders(sql), parameters, Runs::Many);
        return;
    }
    QSqlQuery& query = boundPrepared(connection, sql, parameters);
    const bool ok = query.exec();
    const QString error = ok ? QString() : query.lastError().text().trimmed();
    query.finish();  // done with it until the next run; the preparation stays
    if (!ok) throw DbError(error);
}

namespace {

// PRAGMA soft_heap_limit: sets the bound when given one, and answers the bound before.
qint64 softHeapLimit(SharedConnection& connection, qint64 bytes = -1) {
    QSqlQuery q(connection.database());
    const QString sql =
        bytes < 0 ? QStringLiteral("PRAGMA soft_heap_limit") : QStringLiteral("PRAGMA soft_heap_limit = %1").arg(bytes);
    return q.exec(sql) && q.next() ? q.value(0).toLongLong() : -1;
}

}  // namespace

SqliteMemoryBound::SqliteMemoryBound(SharedConnection& connection, qint64 bytes) : connection_(connection) {
    if (!connection.isOpen() || connection.dialect() != Dialect::Sqlite) return;
    previous_ = softHeapLimit(connection);
    if (previous_ >= 0) softHeapLimit(connection, bytes);
}

SqliteMemoryBound::~SqliteMemoryBound() {
    if (previous_ >= 0 && connection_.isOpen()) softHeapLimit(connection_, previous_);
}

void runAndCommit(SharedConnection& connection, const QString& sql, const QVariantMap& parameters) {
    if (!connection.inTransaction()) throw DbError(QStringLiteral("no transaction is open"));
    const QString commitText = connection.chainedCommitText();
    if (commitText.isEmpty()) {
        runPrepared(connection, sql, parameters);
        connection.commit();
        return;
    }
    checkedPlaceholders(sql, parameters);
    const QList<Placeholder> placeholders = scanPlaceholders(sql);
    const Marked m = markedForOdbc(sql, placeholders, parameters);
    connection.odbcStatements().exec(connection.database(), m.sql + commitText, m.values,
                                     textWidthsOf(sql, placeholders));
    connection.committedByStatement();
}

QSqlQuery runSql(SharedConnection& connection, const QString& sql, const QVariantMap& parameters) {
    if (!connection.isOpen()) connection.open();
    const QStringList names = checkedPlaceholders(sql, parameters);
    if (!readsOnly(sql)) connection.beforeWriteOutside();

    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    if (!names.isEmpty() && overOdbc(connection) && returnsNoRows(sql)) {
        runBoundOnOdbc(connection, sql, scanPlaceholders(sql), parameters, Runs::Once);
        return query;
    }
    if (names.isEmpty()) {
        if (!query.exec(sql)) throw DbError(query.lastError().text().trimmed());
        return query;
    }
    if (!query.prepare(sql)) throw DbError(query.lastError().text().trimmed());
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        query.bindValue(QLatin1Char(':') + it.key(), it.value());
    if (!query.exec()) throw DbError(query.lastError().text().trimmed());
    return query;
}

QVariantList firstRowOf(SharedConnection& connection, const QString& sql, const QVariantMap& parameters, int columns) {
    if (!connection.isOpen()) connection.open();
    const auto firstRow = [columns](QSqlQuery& query, bool ok) {
        QVariantList values;
        if (ok && query.next())
            for (int i = 0; i < columns; ++i) values << query.value(i);
        const QSqlError error = query.lastError();
        query.finish();  // on SQLite the preparation stays for the next run
        if (!ok || (values.isEmpty() && error.isValid())) throw DbError(error.text().trimmed());
        return values;
    };
    if (overOdbc(connection)) {
        // Prepared once on the connection, and read to its end: a result left after its first
        // row would cost the driver a cancel, a round trip of its own.
        checkedPlaceholders(sql, parameters);
        const Marked m = markedForOdbc(sql, scanPlaceholders(sql), parameters);
        const QList<QVariantList> rows =
            connection.odbcStatements().rows(connection.database(), m.sql, m.values, columns);
        return rows.isEmpty() ? QVariantList() : rows.first();
    }
    QSqlQuery& query = boundPrepared(connection, sql, parameters);
    return firstRow(query, query.exec());
}

}  // namespace velocast
