#include "data/data_link_check.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "data/data_link.h"
#include "data/db_error.h"
#include "data/shared_connection.h"
#include "data/sql_statement.h"

namespace velocast {

QString dataLinkFileProblem(const QString& path) {
    DataLink link;
    try {
        link = readDataLink(path);
    } catch (const DbError& e) {
        return e.message();
    }
    // A server may come back; a database file that is not there names the wrong place (a copy
    // of a file whose database was named relative to its own folder).
    if (link.qtDriver == QLatin1String("QSQLITE") && !QFileInfo::exists(link.databaseName))
        return QCoreApplication::translate("Velocast", "the database file %1 named by %2 does not exist")
            .arg(QDir::toNativeSeparators(link.databaseName), QDir::toNativeSeparators(path));
    return {};
}

QString dataLinkProblem(const QString& path) {
    if (QString problem = dataLinkFileProblem(path); !problem.isEmpty()) return problem;
    SharedConnection probe(path, QStringLiteral("velocast-data-link-check"));
    probe.readOnly = true;
    try {
        probe.open();
    } catch (const DbError& e) {
        return e.message();
    }
    try {
        // Any database opens; the club's is the one with its settings table.
        runSql(probe, QStringLiteral("SELECT COUNT(*) FROM Qzcvar2"));
    } catch (const DbError& e) {
        return QCoreApplication::translate("Velocast",
                                           "the database named by %1 opens, but its settings table Qzcvar2 cannot be "
                                           "read (%2): choose the data-link file of the club's database")
            .arg(path, e.message());
    }
    return {};
}

}  // namespace velocast
