#include "support/tds_peer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <stdexcept>

#include "data/host_schema.h"
#include "support/host_database.h"

#include "support/velocast_process.h"

namespace velocast::testing {

namespace {

QString scriptPath() { return velocast::testing::supportScriptPath(QStringLiteral("tds_peer.py")); }

// How a club's SQL Server types a column of each family.
QString serverType(ColumnFamily family) {
    switch (family) {
    case ColumnFamily::UnicodeText: return QStringLiteral("nvarchar");
    case ColumnFamily::AnsiText: return QStringLiteral("varchar");
    case ColumnFamily::LongText: return QStringLiteral("text");
    case ColumnFamily::Flag: return QStringLiteral("bit");
    case ColumnFamily::DateTime: return QStringLiteral("datetime");
    case ColumnFamily::SmallInt: return QStringLiteral("smallint");
    case ColumnFamily::Integer:
    case ColumnFamily::Identity: return QStringLiteral("int");
    }
    return QStringLiteral("nvarchar");
}

}  // namespace

TdsRule::TdsRule(const QString& match, bool exact) {
    json_[QStringLiteral("match")] = match;
    if (exact) json_[QStringLiteral("exact")] = true;
}

TdsRule TdsRule::table(const QString& table, const QList<QVariantMap>& rows) {
    TdsRule rule = rowsOf(table, QString(), rows);
    rule.json_[QStringLiteral("match")] = QStringLiteral("SELECT * FROM ") + table;
    rule.json_[QStringLiteral("exact")] = true;
    return rule;
}

TdsRule TdsRule::rowsOf(const QString& table, const QString& match, const QList<QVariantMap>& rows) {
    TdsRule rule = startingWith(match);
    QList<ColumnDef> columns = hostColumns(table);
    if (columns.isEmpty()) columns = declaredColumnDefs(table);  // the run table
    for (const ColumnDef& c : columns) rule.column(c.name, serverType(c.family), c.width > 0 ? c.width : 255);
    for (const QVariantMap& values : rows) {
        QVariantList row;
        for (const ColumnDef& c : columns) row << values.value(c.name);
        rule.row(row);
    }
    return rule;
}

TdsRule& TdsRule::column(const QString& name, const QString& type, int size) {
    QJsonArray columns = json_.value(QStringLiteral("columns")).toArray();
    QJsonObject c{{QStringLiteral("name"), name}, {QStringLiteral("type"), type}};
    if (size > 0) c[QStringLiteral("size")] = size;
    columns.append(c);
    json_[QStringLiteral("columns")] = columns;
    if (!json_.contains(QStringLiteral("rows"))) json_[QStringLiteral("rows")] = QJsonArray();
    return *this;
}

TdsRule& TdsRule::row(const QVariantList& values) {
    QJsonArray rows = json_.value(QStringLiteral("rows")).toArray();
    rows.append(QJsonArray::fromVariantList(values));
    json_[QStringLiteral("rows")] = rows;
    return *this;
}

TdsRule& TdsRule::rowCount(int count) {
    json_[QStringLiteral("rowcount")] = count;
    return *this;
}

TdsRule& TdsRule::error(const QString& message, int number) {
    json_[QStringLiteral("error")] = message;
    json_[QStringLiteral("error_number")] = number;
    return *this;
}

TdsRule& TdsRule::generated(int count, const QVariantList& values) {
    json_[QStringLiteral("generate")] =
        QJsonObject{{QStringLiteral("count"), count}, {QStringLiteral("row"), QJsonArray::fromVariantList(values)}};
    return *this;
}

TdsRule& TdsRule::hanging() {
    json_[QStringLiteral("hang")] = true;
    return *this;
}

TdsRule& TdsRule::echoingIntegers(const QVariantList& values) {
    json_[QStringLiteral("echo")] = true;
    if (!values.isEmpty()) json_[QStringLiteral("echo_row")] = QJsonArray::fromVariantList(values);
    return *this;
}

TdsRule& TdsRule::times(int count) {
    json_[QStringLiteral("times")] = count;
    return *this;
}

TdsPeer::TdsPeer(const QList<TdsRule>& rules, int delayMs, const Tls& tls) : tls_(tls) {
    logPath_ = dir_.filePath(QStringLiteral("requests.jsonl"));
    const QString script = dir_.filePath(QStringLiteral("script.json"));
    QJsonArray array;
    for (const TdsRule& rule : rules) array.append(rule.json());
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(array).toJson()) < 0)
        throw std::runtime_error("cannot write the TDS peer's script");
    file.close();

    scriptPath_ = script;
    delayMs_ = delayMs;
    start();

    udlPath_ = dir_.filePath(QStringLiteral("Korvana.udl"));
    writeDataLink(udlPath_, QStringLiteral("Provider=SQLOLEDB.1;Password=segredo;Persist Security Info=True;"
                                           "User ID=velocast;Initial Catalog=KORVANA;Data Source=127.0.0.1,%1")
                                .arg(port_));
}

void TdsPeer::start() {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{scriptPath(),
                          QStringLiteral("--log"),
                          logPath_,
                          QStringLiteral("--script"),
                          scriptPath_,
                          QStringLiteral("--port"),
                          QString::number(port_),
                          QStringLiteral("--delay-ms"),
                          QString::number(delayMs_)};
    if (!tls_.certificate.isEmpty())
        arguments << QStringLiteral("--tls-cert") << tls_.certificate << QStringLiteral("--tls-key") << tls_.key;
    process_.start(QStringLiteral("/usr/bin/python3"), arguments);
    while (!process_.canReadLine())
        if (!process_.waitForReadyRead(20000)) throw std::runtime_error("the TDS peer did not start");
    const QByteArray first = process_.readLine().trimmed();
    if (!first.startsWith("PORT ")) throw std::runtime_error("the TDS peer did not start: " + first.toStdString());
    port_ = static_cast<quint16>(first.mid(5).toUInt());
}

void TdsPeer::stop() {
    process_.kill();
    process_.waitForFinished();
}

TdsPeer::~TdsPeer() {
    process_.closeWriteChannel();  // the peer ends when its standard input closes
    if (!process_.waitForFinished(10000)) process_.kill();
    process_.waitForFinished();
}

QList<QJsonObject> TdsPeer::requests() const {
    QList<QJsonObject> result;
    QFile file(logPath_);
    if (!file.open(QIODevice::ReadOnly)) return result;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (!line.isEmpty()) result << QJsonDocument::fromJson(line).object();
    }
    return result;
}

QList<QJsonObject> TdsPeer::statements() const {
    QList<QJsonObject> result;
    for (const QJsonObject& r : requests()) {
        const QString kind = r.value(QStringLiteral("kind")).toString();
        if (kind != QLatin1String("prelogin") && kind != QLatin1String("login")) result << r;
    }
    return result;
}

QStringList TdsPeer::summary() const {
    QStringList lines;
    for (const QJsonObject& r : statements()) {
        const QString kind = r.value(QStringLiteral("kind")).toString();
        if (kind == QLatin1String("batch"))
            lines << QStringLiteral("batch: ") + r.value(QStringLiteral("sql")).toString();
        else if (kind == QLatin1String("rpc"))
            lines << QStringLiteral("rpc %1: %2")
                         .arg(r.value(QStringLiteral("proc")).toString(), r.value(QStringLiteral("sql")).toString());
        else if (kind == QLatin1String("tm"))
            lines << QStringLiteral("tm: ") + r.value(QStringLiteral("request")).toString();
        else lines << kind;
    }
    return lines;
}

QJsonObject TdsPeer::firstStatement(const QString& sqlStart) const {
    for (const QJsonObject& r : statements())
        if (r.value(QStringLiteral("sql")).toString().startsWith(sqlStart)) return r;
    return {};
}

}  // namespace velocast::testing
