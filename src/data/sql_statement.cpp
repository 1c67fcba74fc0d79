#include "data/sql_statement.h"

#include <QSqlError>

#include "data/db_error.h"
#include "data/shared_connection.h"

namespace velocast {

QStringList placeholdersOf(const QString& sql) {
    QStringList names;
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
            names << sql.mid(i + 1, j - i - 1);
            i = j - 1;
        }
    }
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

void runPrepared(SharedConnection& connection, const QString& sql, const QVariantMap& parameters) {
    if (!connection.isOpen()) connection.open();
    checkedPlaceholders(sql, parameters);
    QSqlQuery& query = connection.preparedStatement(sql);
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        query.bindValue(QLatin1Char(':') + it.key(), it.value());
    const bool ok = query.exec();
    const QString error = ok ? QString() : query.lastError().text().trimmed();
    query.finish();  // done with it until the next run; the preparation stays
    if (!ok) throw DbError(error);
}

QSqlQuery runSql(SharedConnection& connection, const QString& sql, const QVariantMap& parameters) {
    if (!connection.isOpen()) connection.open();
    const QStringList names = checkedPlaceholders(sql, parameters);

    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
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

}  // namespace velocast
