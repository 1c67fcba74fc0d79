#include "data/sql_server_driver.h"

namespace velocast {

namespace {
QString& forcedDriver() {
    static QString name;
    return name;
}
}  // namespace

QString sqlServerOdbcDriver() { return forcedDriver().isEmpty() ? installedSqlServerDriver() : forcedDriver(); }

void forceSqlServerOdbcDriver(const QString& name) { forcedDriver() = name.trimmed(); }

QString bestSqlServerDriver(const QStringList& installed) {
    for (const char* preferred : {"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server", "SQL Server"})
        for (const QString& name : installed)
            if (name.trimmed().compare(QLatin1String(preferred), Qt::CaseInsensitive) == 0) return name.trimmed();
    return QString();
}

bool isFreeTdsDriver(const QString& driver) {
    return driver.compare(QLatin1String("FreeTDS"), Qt::CaseInsensitive) == 0 ||
           driver.contains(QLatin1String("tdsodbc"), Qt::CaseInsensitive);
}

QString odbcValue(const QString& value) {
    if (value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('{')) || value.contains(QLatin1Char('}')) ||
        value.contains(QLatin1Char('=')) || value != value.trimmed())
        return QLatin1Char('{') + QString(value).replace(QLatin1Char('}'), QLatin1String("}}")) + QLatin1Char('}');
    return value;
}

QString sqlServerConnectionString(const QString& driver, const SqlServerTarget& t) {
    const bool freeTds = isFreeTdsDriver(driver);
    QString server = t.instance.isEmpty() ? t.host : t.host + QLatin1Char('\\') + t.instance;
    // Microsoft's drivers take the port after the server, as the data-link file writes it.
    if (!freeTds && !t.port.isEmpty()) server += QLatin1Char(',') + t.port;
    // A name with blanks ("ODBC Driver 18 for SQL Server") is braced, as every driver manager reads it.
    const bool section = freeTds && !t.freeTdsSection.isEmpty();
    QString cs =
        QStringLiteral("DRIVER=%1;%2=%3")
            .arg(driver.contains(QLatin1Char(' ')) ? QLatin1Char('{') + driver + QLatin1Char('}') : odbcValue(driver),
                 section ? QStringLiteral("Servername") : QStringLiteral("SERVER"),
                 odbcValue(section ? t.freeTdsSection : server));
    if (freeTds && !section && !t.port.isEmpty()) cs += QStringLiteral(";PORT=") + t.port;
    if (!t.catalog.isEmpty()) cs += QStringLiteral(";DATABASE=") + odbcValue(t.catalog);
    if (!t.user.isEmpty()) cs += QStringLiteral(";UID=") + odbcValue(t.user);
    if (t.hasPassword) cs += QStringLiteral(";PWD=") + odbcValue(t.password);
    if (freeTds) {
        cs += QStringLiteral(";TDS_Version=7.4;ClientCharset=UTF-8");
        // The section asks for encryption and the certificate check; without it FreeTDS
        // encrypts without checking anything, which only Trust Server Certificate=True asks.
        if (t.encrypt && !section) cs += QStringLiteral(";Encryption=require");
    } else {
        // Driver 18 encrypts and checks the certificate by default; the data-link file's
        // choice holds either way, as it did with the OLE DB provider.
        cs += t.encrypt ? QStringLiteral(";Encrypt=yes") : QStringLiteral(";Encrypt=no");
        if (t.encrypt)
            cs += t.trustServerCertificate ? QStringLiteral(";TrustServerCertificate=yes")
                                           : QStringLiteral(";TrustServerCertificate=no");
    }
    cs += QStringLiteral(";APP=") + odbcValue(t.applicationName);
    return cs;
}

}  // namespace velocast
