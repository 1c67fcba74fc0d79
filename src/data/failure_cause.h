#pragma once
// What a failed database step means, in the words a club's IT person acts on: which database
// (the file, or the server and catalog) and the cause behind the driver's text. The notices
// keep their fixed texts; this goes into their detail, after the table's name.
#include <QString>

namespace velocast {

struct DataLink;
class SharedConnection;

// "the SQLite file /var/lib/velocast/club.sqlite", "the database KORVANA on the SQL Server
// 192.0.2.10,1433", or the data-link file for any other provider.
QString describeDatabase(const DataLink& link);

// `errorText` with the database it came from and, for the causes a person meets most (no
// database at all, another database than the club's, a missing column, a lock, a refused
// login), what it means and what to change.
QString explainDatabaseFailure(const QString& database, const QString& errorText);

// The same for the database `connection` works on.
QString databaseFailureCause(const SharedConnection& connection, const QString& errorText);

}  // namespace velocast
