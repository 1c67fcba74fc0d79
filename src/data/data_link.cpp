#include "data/data_link.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QStringDecoder>

#include "data/db_error.h"
#include "data/sql_server_driver.h"
#include "data/sql_server_encryption.h"

namespace velocast {
namespace {

[[noreturn]] void fail(const QString& path, const QString& what) {
    throw DbError(QStringLiteral("data-link file %1: %2").arg(QDir::toNativeSeparators(path), what));
}

// The initialisation string: "key=value;key=value", values optionally in double or single
// quotes (a doubled quote stands for itself), keys without regard to letter case.
QMap<QString, QString> parseInitString(const QString& text, const QString& path) {
    QMap<QString, QString> result;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        if (eq < 0) {
            if (!text.mid(i).trimmed().isEmpty())
                fail(path, QStringLiteral("\"%1\" is not a key=value pair").arg(text.mid(i).trimmed()));
            break;
        }
        const QString key = text.mid(i, eq - i).trimmed().toLower();
        if (key.isEmpty()) fail(path, QStringLiteral("a value without a key at \"%1\"").arg(text.mid(i, 30)));
        i = eq + 1;
        while (i < n && text.at(i) == QLatin1Char(' ')) ++i;
        QString value;
        if (i < n && (text.at(i) == QLatin1Char('"') || text.at(i) == QLatin1Char('\''))) {
            const QChar quote = text.at(i++);
            bool closed = false;
            while (i < n) {
                if (text.at(i) == quote) {
                    if (i + 1 < n && text.at(i + 1) == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text.at(i++);
            }
            if (!closed) fail(path, QStringLiteral("the value of \"%1\" has no closing quote").arg(key));
            while (i < n && text.at(i) != QLatin1Char(';')) {
                if (!text.at(i).isSpace())
                    fail(path, QStringLiteral("unexpected text after the quoted value of \"%1\"").arg(key));
                ++i;
            }
        } else {
            const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
            value = text.mid(i, (semi < 0 ? n : semi) - i).trimmed();
            i = semi < 0 ? n : semi;
        }
        result.insert(key, value);
        if (i < n && text.at(i) == QLatin1Char(';')) ++i;
    }
    return result;
}

bool isSqlServerProvider(const QString& provider) {
    const QString p = provider.toLower();
    return p.startsWith(QLatin1String("sqloledb")) || p.startsWith(QLatin1String("sqlncli")) ||
           p.startsWith(QLatin1String("msoledbsql"));
}

void mapSqlServer(DataLink& link) {
    QString source = link.properties.value(QStringLiteral("data source")).trimmed();
    if (source.isEmpty()) source = link.properties.value(QStringLiteral("server")).trimmed();
    if (source.isEmpty()) fail(link.path, QStringLiteral("no \"Data Source\" (the SQL Server's host name)"));
    if (source.startsWith(QLatin1String("tcp:"), Qt::CaseInsensitive)) source = source.mid(4);
    QString host = source, port, instance;
    if (const qsizetype comma = source.indexOf(QLatin1Char(',')); comma >= 0) {
        host = source.left(comma).trimmed();
        port = source.mid(comma + 1).trimmed();
        bool ok = false;
        const int number = port.toInt(&ok);
        if (!ok || number <= 0 || number > 65535)
            fail(link.path, QStringLiteral("\"%1\" in \"Data Source\" is not a port number").arg(port));
    }
    if (const qsizetype slash = host.indexOf(QLatin1Char('\\')); slash >= 0) {
        instance = host.mid(slash + 1);
        host = host.left(slash);
    }
    if (host == QLatin1String(".") || host.compare(QLatin1String("(local)"), Qt::CaseInsensitive) == 0)
        host = QStringLiteral("localhost");
    SqlServerTarget target;
    target.host = host;
    target.port = port;
    target.instance = instance;
    const QString catalog = link.properties.value(QStringLiteral("initial catalog"));
    target.catalog = catalog;
    target.user = link.properties.value(QStringLiteral("user id"));
    target.hasPassword = link.properties.contains(QStringLiteral("password"));
    target.password = link.properties.value(QStringLiteral("password"));
    const SqlServerEncryption encryption = sqlServerEncryption(link.properties, link.path);
    target.encrypt = encryption.encrypt;
    target.trustServerCertificate = !encryption.verify;
    const QString driver = sqlServerOdbcDriver();
    if (encryption.encrypt && encryption.verify) {
        link.verifiedHost = host;
        if (isFreeTdsDriver(driver)) target.freeTdsSection = freeTdsVerifyingSection(host, port, instance, link.path);
    }
    // The name a DBA sees in the server's activity views: the link's own when it gives one.
    const QString application = link.properties.value(QStringLiteral("application name")).trimmed();
    target.applicationName = application.isEmpty() ? QStringLiteral(VELOCAST_APPLICATION_NAME) : application;
    const QString cs = sqlServerConnectionString(driver, target);
    link.qtDriver = QStringLiteral("QODBC");
    link.databaseName = cs;
    link.dialect = Dialect::Mssql;
    link.identity = QStringLiteral("mssql:%1%2/%3")
                        .arg(host.toLower(),
                             instance.isEmpty() ? QStringLiteral(",") + (port.isEmpty() ? QStringLiteral("1433") : port)
                                                : QStringLiteral("\\") + instance.toLower(),
                             catalog.toLower());
}

void mapSqlite(DataLink& link) {
    const QString source = link.properties.value(QStringLiteral("data source")).trimmed();
    if (source.isEmpty()) fail(link.path, QStringLiteral("no \"Data Source\" (the SQLite database file)"));
    // A relative database path is taken from the data-link file's folder, so that a demo
    // folder can be moved as a whole.
    const QFileInfo info(source);
    link.databaseName = info.isAbsolute() ? source : QFileInfo(link.path).dir().absoluteFilePath(source);
    const QString canonical = QFileInfo(link.databaseName).canonicalFilePath();
    link.identity = QStringLiteral("sqlite:") + (canonical.isEmpty() ? QDir::cleanPath(link.databaseName) : canonical);
    link.qtDriver = QStringLiteral("QSQLITE");
    link.dialect = Dialect::Sqlite;
}

// OLE DB's provider for ODBC: the ODBC connection string stands in "Extended Properties".
void mapOdbc(DataLink& link) {
    QString cs = link.properties.value(QStringLiteral("extended properties")).trimmed();
    if (cs.isEmpty()) {
        const QString dsn = link.properties.value(QStringLiteral("data source")).trimmed();
        if (dsn.isEmpty())
            fail(link.path, QStringLiteral("provider MSDASQL needs \"Extended Properties\" (an ODBC connection string) "
                                           "or a \"Data Source\" (a DSN)"));
        cs = QStringLiteral("DSN=") + odbcValue(dsn);
    }
    link.qtDriver = QStringLiteral("QODBC");
    link.databaseName = cs;
    // The password is no part of which database it is, and the identity may be shown.
    link.identity = QStringLiteral("odbc:") + QString(cs)
                                                  .remove(QRegularExpression(QStringLiteral("(^|;)\\s*pwd\\s*=[^;]*"),
                                                                             QRegularExpression::CaseInsensitiveOption))
                                                  .toLower();
    link.dialect = cs.contains(QLatin1String("sqlite"), Qt::CaseInsensitive) ? Dialect::Sqlite : Dialect::Mssql;
}

}  // namespace

QString decodeDataLinkBytes(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder decoder(QStringDecoder::Utf16LE);
        return decoder(bytes.mid(2));
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.mid(3));
    return QString::fromUtf8(bytes);
}

DataLink parseDataLink(const QString& text, const QString& path) {
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    qsizetype i = 0;
    while (i < lines.size() && lines.at(i).trimmed().isEmpty()) ++i;
    if (i >= lines.size() || lines.at(i).trimmed().compare(QLatin1String("[oledb]"), Qt::CaseInsensitive) != 0)
        fail(path, QStringLiteral("it does not start with the line [oledb]; is it a data-link (.udl) file?"));
    QString init;
    for (++i; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) continue;
        init = line;
        break;
    }
    if (init.isEmpty()) fail(path, QStringLiteral("there is no connection line after [oledb]"));

    DataLink link;
    link.path = path;
    link.properties = parseInitString(init, path);
    link.provider = link.properties.value(QStringLiteral("provider")).trimmed();
    if (link.provider.isEmpty()) fail(path, QStringLiteral("no \"Provider\" is named"));
    const QString p = link.provider.toLower();
    if (isSqlServerProvider(p)) mapSqlServer(link);
    else if (p == QLatin1String("sqlite")) mapSqlite(link);
    else if (p.startsWith(QLatin1String("msdasql"))) mapOdbc(link);
    else
        fail(path, QStringLiteral("unknown provider \"%1\"; use SQLOLEDB.1 (SQL Server), MSDASQL (ODBC) or SQLite")
                       .arg(link.provider));
    return link;
}

DataLink readDataLink(const QString& path) {
    QFile file(path);
    if (!file.exists()) fail(path, QStringLiteral("the file does not exist (give another with --data-link)"));
    if (!file.open(QIODevice::ReadOnly)) fail(path, QStringLiteral("cannot be read: %1").arg(file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) fail(path, QStringLiteral("cannot be read: %1").arg(file.errorString()));
    return parseDataLink(decodeDataLinkBytes(bytes), path);
}

QString defaultDataLinkPath() {
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\QZ\\Korvana.udl");
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/velocast/Korvana.udl");
#endif
}

}  // namespace velocast
