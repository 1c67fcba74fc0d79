#include "data/sql_server_encryption.h"

#include <QCryptographicHash>
#include <QDir>
#include <QSaveFile>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "data/db_error.h"

namespace velocast {

namespace {

enum class Meaning { Encrypt, Plain, Verify, Trust };

// One row per key the OLE DB providers and Microsoft's drivers take, and what each value
// means (values without regard to letter case or surrounding blanks).
struct Row {
    const char* key;
    Meaning on;   // for the values in `onValues`
    Meaning off;  // for the values in `offValues`
    const char* onValues;
    const char* offValues;
};

const Row kTable[] = {
    // SQLOLEDB, SQLNCLI11 and MSOLEDBSQL's property; MSOLEDBSQL 19 also takes its levels.
    {"use encryption for data", Meaning::Encrypt, Meaning::Plain, "true|yes|1|mandatory|strict", "false|no|0|optional"},
    // The keyword of MSOLEDBSQL 19 and of the ODBC drivers, as a club may copy it over.
    {"encrypt", Meaning::Encrypt, Meaning::Plain, "true|yes|1|mandatory|strict", "false|no|0|optional"},
    {"trust server certificate", Meaning::Trust, Meaning::Verify, "true|yes|1", "false|no|0"},
    {"trustservercertificate", Meaning::Trust, Meaning::Verify, "true|yes|1", "false|no|0"},
};

QString& caFile() {
    static QString path;
    return path;
}

// A value written into freetds.conf: no character that ends a line or starts a comment or a
// section there.
void refuseInConfig(const QString& value, const QString& what, const QString& path) {
    static const QString forbidden = QStringLiteral(";#[]\r\n");
    for (const QChar c : value)
        if (forbidden.contains(c) || c.unicode() < 0x20)
            throw DbError(QStringLiteral("data-link file %1: %2 \"%3\" holds \"%4\", which FreeTDS cannot take "
                                         "for an encrypted connection")
                              .arg(QDir::toNativeSeparators(path), what, value, c));
}

// This run's freetds.conf: its sections, and the folder that holds it (removed at exit).
struct RunConfig {
    QTemporaryDir folder;
    QMap<QString, QString> sections;
};

RunConfig& runConfig() {
    static RunConfig config;
    return config;
}

}  // namespace

SqlServerEncryption sqlServerEncryption(const QMap<QString, QString>& properties, const QString& path) {
    SqlServerEncryption result;
    for (const Row& row : kTable) {
        if (!properties.contains(QLatin1String(row.key))) continue;
        const QString value = properties.value(QLatin1String(row.key)).trimmed().toLower();
        const QStringList on = QString::fromLatin1(row.onValues).split(QLatin1Char('|'));
        const QStringList off = QString::fromLatin1(row.offValues).split(QLatin1Char('|'));
        Meaning meaning;
        if (on.contains(value)) meaning = row.on;
        else if (off.contains(value)) meaning = row.off;
        else
            throw DbError(QStringLiteral("data-link file %1: \"%2\" is no value for %3; write %4 or %5")
                              .arg(QDir::toNativeSeparators(path), properties.value(QLatin1String(row.key)),
                                   QLatin1String(row.key), on.join(QLatin1Char('/')), off.join(QLatin1Char('/'))));
        switch (meaning) {
        case Meaning::Encrypt: result.encrypt = true; break;
        case Meaning::Plain: break;  // another key may still ask for it
        case Meaning::Verify: break;
        case Meaning::Trust: result.verify = false; break;
        }
    }
    return result;
}

void setSqlServerCaFile(const QString& path) { caFile() = path; }
QString sqlServerCaFile() { return caFile(); }

QString freeTdsVerifyingSection(const QString& host, const QString& port, const QString& instance,
                                const QString& dataLinkPath) {
    refuseInConfig(host, QStringLiteral("the Data Source's host"), dataLinkPath);
    refuseInConfig(instance, QStringLiteral("the Data Source's instance"), dataLinkPath);
    refuseInConfig(caFile(), QStringLiteral("velocast.conf's [database] ca_file"), dataLinkPath);
    QString body = QStringLiteral("\thost = %1\n").arg(host);
    if (!port.isEmpty()) body += QStringLiteral("\tport = %1\n").arg(port);
    if (!instance.isEmpty()) body += QStringLiteral("\tinstance = %1\n").arg(instance);
    // "system": the authorities the system trusts. The name checked is the host as written.
    body += QStringLiteral("\tencryption = require\n\tca file = %1\n\tcheck certificate hostname = yes\n")
                .arg(caFile().isEmpty() ? QStringLiteral("system") : caFile());
    const QString name =
        QStringLiteral("velocast-") +
        QString::fromLatin1(QCryptographicHash::hash(body.toUtf8(), QCryptographicHash::Sha256).toHex().left(16));
    RunConfig& config = runConfig();
    if (config.sections.contains(name)) return name;
    if (!config.folder.isValid())
        throw DbError(QStringLiteral("no temporary folder for FreeTDS's settings of the encrypted connection: %1")
                          .arg(config.folder.errorString()));
    config.sections.insert(name, body);
    QString text = QStringLiteral("; Written by Velocast for this run: the encrypted SQL Server connections.\n");
    for (auto it = config.sections.cbegin(); it != config.sections.cend(); ++it)
        text += QStringLiteral("[%1]\n%2").arg(it.key(), it.value());
    const QString file = config.folder.filePath(QStringLiteral("freetds.conf"));
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit())
        throw DbError(QStringLiteral("FreeTDS's settings of the encrypted connection cannot be written to %1: %2")
                          .arg(file, out.errorString()));
    qputenv("FREETDSCONF", QFile::encodeName(file));
    return name;
}

QString certificateFailureHint(const QString& driverText, const QString& host) {
    // A server that is down or refuses the login says so in its own words; a handshake that
    // fails leaves only "connection failed".
    if (!driverText.contains(QLatin1String("Adaptive Server connection failed"), Qt::CaseInsensitive)) return {};
    return QStringLiteral(
               "the encrypted connection failed, most likely because the server's certificate was refused: it must be "
               "issued for \"%1\" (the host of Data Source) by %2. Name the authority that issued it in velocast.conf "
               "[database] ca_file, or (not recommended: anyone on the way could read the password) write Trust "
               "Server Certificate=True in the data-link file; Use Encryption for Data (or Encrypt) asks for the "
               "encryption")
        .arg(host, caFile().isEmpty() ? QStringLiteral("an authority the system trusts")
                                      : QStringLiteral("the authority in %1").arg(caFile()));
}

}  // namespace velocast
