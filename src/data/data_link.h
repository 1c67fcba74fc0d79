#pragma once
// The OLE DB data-link (.udl) file that names the club's database, and how each provider is
// reached from Qt.
#include <QMap>
#include <QString>

#include "data/dialect.h"

namespace velocast {

struct DataLink {
    QString path;                       // the file it was read from
    QString provider;                   // as written, e.g. "SQLOLEDB.1"
    QMap<QString, QString> properties;  // keys lower-cased, values as written
    QString qtDriver;                   // "QSQLITE" or "QODBC"
    QString databaseName;               // file name (QSQLITE) or ODBC connection string
    Dialect dialect = Dialect::Sqlite;
    // Which database this is, whatever the file's spelling: the SQLite file's canonical path,
    // or "mssql:" with the server, port or instance, and catalog, case-folded. Two links with
    // the same identity reach the same outbox.
    QString identity;
    // A SQL Server connection that is encrypted and checks the server's certificate: the host
    // the certificate must name. Empty otherwise.
    QString verifiedHost;
    bool usesOdbc() const { return qtDriver == QLatin1String("QODBC"); }
};

// Reads and maps a data-link file. Throws DbError naming the file and what is wrong with it
// (missing, unreadable, no [oledb] header, no provider, unknown provider, no data source).
DataLink readDataLink(const QString& path);
// Parses the text of a data-link file (already decoded); `path` is only used in messages.
DataLink parseDataLink(const QString& text, const QString& path);
// Decodes the bytes of a data-link file: UTF-16LE with BOM as Windows writes it, UTF-8 with
// or without BOM otherwise.
QString decodeDataLinkBytes(const QByteArray& bytes);

// Where the data-link file is looked for when --data-link is not given.
QString defaultDataLinkPath();

}  // namespace velocast
