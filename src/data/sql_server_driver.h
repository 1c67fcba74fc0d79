#pragma once
// Which ODBC driver reaches the club's SQL Server, and the connection string each kind of
// driver understands. FreeTDS is the driver on Linux; on Windows the best of Microsoft's
// drivers that is installed. velocast.conf's [database] odbc_driver forces one by name.
#include <QString>
#include <QStringList>

namespace velocast {

// What the data-link file says about the server, already split up.
struct SqlServerTarget {
    QString host;      // "localhost" for "." and "(local)"
    QString port;      // empty: the driver's default (1433, or the instance's)
    QString instance;  // empty: the default instance
    QString catalog;
    QString user;
    QString password;
    bool hasPassword = false;
    bool encrypt = false;                 // the login and everything after it encrypted
    bool trustServerCertificate = false;  // encrypted without checking the certificate
    // FreeTDS, encrypted with the certificate checked: the freetds.conf section that says so
    // (see freeTdsVerifyingSection), named instead of the server and port.
    QString freeTdsSection;
    QString applicationName;
};

// The driver named in velocast.conf when there is one, else the platform's choice.
QString sqlServerOdbcDriver();
// Set once from velocast.conf before any data-link file is read; empty: the platform's choice.
void forceSqlServerOdbcDriver(const QString& name);
// The platform's choice: "FreeTDS", or on Windows the best Microsoft driver installed.
QString installedSqlServerDriver();

// Of the installed ODBC drivers, the one to use for SQL Server: ODBC Driver 18, then 17,
// then the "SQL Server" driver that ships with Windows. Empty when none is installed.
QString bestSqlServerDriver(const QStringList& installed);

bool isFreeTdsDriver(const QString& driver);

// The ODBC connection string for `driver`: FreeTDS's keywords (PORT, TDS_Version,
// ClientCharset, Encryption) or Microsoft's (SERVER=host,port, Encrypt, TrustServerCertificate).
QString sqlServerConnectionString(const QString& driver, const SqlServerTarget& target);

// An ODBC connection string value wrapped in braces when it holds a character that would end it.
QString odbcValue(const QString& value);

}  // namespace velocast
