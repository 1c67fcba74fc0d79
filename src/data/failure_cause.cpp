#include "data/failure_cause.h"

#include "data/data_link.h"
#include "data/db_error.h"
#include "data/shared_connection.h"

namespace velocast {

QString describeDatabase(const DataLink& link) {
    if (link.qtDriver == QLatin1String("QSQLITE")) return QStringLiteral("the SQLite file %1").arg(link.databaseName);
    if (link.dialect == Dialect::Mssql) {
        const QString catalog = link.properties.value(QStringLiteral("initial catalog")).trimmed();
        const QString server = link.properties.value(QStringLiteral("data source")).trimmed();
        return catalog.isEmpty() ? QStringLiteral("the login's default database on the SQL Server %1").arg(server)
                                 : QStringLiteral("the database %1 on the SQL Server %2").arg(catalog, server);
    }
    return QStringLiteral("the database named by %1").arg(link.path);
}

QString explainDatabaseFailure(const QString& database, const QString& errorText) {
    const QString text = errorText.trimmed();
    const QString lower = text.toLower();
    QString meaning;
    if (lower.contains(QLatin1String("not a database")) || lower.contains(QLatin1String("file is encrypted")))
        meaning = QStringLiteral("this file is no database: correct Data Source in the data-link file");
    else if (lower.contains(QLatin1String("no such table")) || lower.contains(QLatin1String("invalid object name")))
        meaning = QStringLiteral(
            "a table of the club's system is missing, so this is likely another database than the "
            "club's: check the data-link file");
    else if (lower.contains(QLatin1String("no such column")) || lower.contains(QLatin1String("has no column")) ||
             lower.contains(QLatin1String("invalid column name")))
        meaning = QStringLiteral(
            "a column Velocast reads is missing: the club's system has an older schema, or this "
            "is another database than the club's");
    else if (lower.contains(QLatin1String("database is locked")) ||
             lower.contains(QLatin1String("database table is locked")))
        meaning = QStringLiteral("another program holds a write lock on it; try again when it has finished");
    else if (lower.contains(QLatin1String("login failed")))
        meaning = QStringLiteral(
            "the server refused the login: correct User ID and Password in the data-link file, "
            "or the login's rights on the server");
    else if (lower.contains(QLatin1String("readonly database")) || lower.contains(QLatin1String("read-only database")))
        meaning = QStringLiteral("Velocast may not write it: give its account write access to the file and its folder");
    const QString where = database.isEmpty() ? QString() : database + QStringLiteral(": ");
    return meaning.isEmpty() ? where + text : QStringLiteral("%1%2 (%3)").arg(where, text, meaning);
}

QString databaseFailureCause(const SharedConnection& connection, const QString& errorText) {
    QString database;
    try {
        database = describeDatabase(readDataLink(connection.dataLinkPath()));
    } catch (const DbError&) {
        database = QStringLiteral("the database named by %1").arg(connection.dataLinkPath());
    }
    const QString timeout = connection.timeoutExplanation(errorText);
    return explainDatabaseFailure(database, timeout.isEmpty() ? errorText : timeout);
}

}  // namespace velocast
