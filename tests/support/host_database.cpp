#include "support/host_database.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <gtest/gtest.h>

#include "data/host_schema.h"

namespace velocast::testing {

void writeDataLink(const QString& path, const QString& initString) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write " + path.toStdString());
    f.write("[oledb]\r\n; Everything after this line is an OLE DB initstring\r\n");
    f.write(initString.toUtf8() + "\r\n");
}

QSqlDatabase HostDatabase::openEmpty() {
    dbPath_ = dir_.filePath(QStringLiteral("club.sqlite"));
    udlPath_ = dir_.filePath(QStringLiteral("club.udl"));
    connectionName_ = QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    d.setDatabaseName(dbPath_);
    if (!d.open()) throw std::runtime_error("cannot create the test database");
    return d;
}

HostDatabase::HostDatabase(bool withSettings) {
    QSqlDatabase d = openEmpty();
    QString error;
    if (!createHostSchema(d, {}, &error)) throw std::runtime_error(error.toStdString());
    writeDataLink(udlPath_, QStringLiteral("Provider=SQLite;Data Source=") + dbPath_);
    if (withSettings) {
        exec(QStringLiteral("INSERT INTO Qzcvar (PRAZOAVALMED, PRAZOAVALFUN, FERIADOS) VALUES (6, 3, '')"));
        exec(QStringLiteral(
            "INSERT INTO Qzcvar2 (STMP_PROVEDOR, IdSMTP_UseTLS) VALUES ('127.0.0.1*2525', 'utNoTLSSupport')"));
        // A club that works has opened its cash register at least once: without a business
        // date the daily run refuses to run. A test's own Caixa row comes after this one and
        // so is the business date.
        exec(QStringLiteral("INSERT INTO Caixa (DATAABERTURA) VALUES ('2024-01-08 08:00:00')"));
    }
}

HostDatabase::HostDatabase(const QStringList& ownSchema) {
    openEmpty();
    for (const QString& statement : ownSchema) exec(statement);
    writeDataLink(udlPath_, QStringLiteral("Provider=SQLite;Data Source=") + dbPath_);
}

HostDatabase::~HostDatabase() {
    {
        QSqlDatabase d = QSqlDatabase::database(connectionName_, false);
        d.close();
    }
    QSqlDatabase::removeDatabase(connectionName_);
}

QSqlDatabase HostDatabase::db() const { return QSqlDatabase::database(connectionName_, false); }

void HostDatabase::exec(const QString& sql, const QVariantMap& parameters) {
    QSqlQuery q(db());
    bool ok;
    if (parameters.isEmpty()) {
        ok = q.exec(sql);
    } else {
        ok = q.prepare(sql);
        for (auto it = parameters.cbegin(); ok && it != parameters.cend(); ++it)
            q.bindValue(QLatin1Char(':') + it.key(), it.value());
        ok = ok && q.exec();
    }
    if (!ok) ADD_FAILURE() << "SQL failed: " << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

QVariant HostDatabase::scalar(const QString& sql) {
    QSqlQuery q(db());
    if (!q.exec(sql) || !q.next()) {
        ADD_FAILURE() << "SQL failed: " << sql.toStdString() << ": " << q.lastError().text().toStdString();
        return {};
    }
    return q.value(0);
}

QStringList HostDatabase::strings(const QString& sql) {
    QStringList out;
    QSqlQuery q(db());
    if (!q.exec(sql))
        ADD_FAILURE() << "SQL failed: " << sql.toStdString() << ": " << q.lastError().text().toStdString();
    while (q.next()) out << q.value(0).toString();
    return out;
}

int HostDatabase::count(const QString& table, const QString& where) {
    return scalar(QStringLiteral("SELECT COUNT(*) FROM ") + table +
                  (where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where))
        .toInt();
}

bool HostDatabase::tableExists(const QString& table) {
    QSqlQuery q(db());
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name = :n COLLATE NOCASE"));
    q.bindValue(QStringLiteral(":n"), table);
    return q.exec() && q.next() && q.value(0).toInt() > 0;
}

void HostDatabase::insert(const QString& table, const QVariantMap& values) {
    QStringList columns, marks;
    QVariantMap params;
    int i = 0;
    for (auto it = values.cbegin(); it != values.cend(); ++it, ++i) {
        columns << it.key();
        marks << QStringLiteral(":p%1").arg(i);
        params.insert(QStringLiteral("p%1").arg(i), it.value());
    }
    exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
             .arg(table, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
         params);
}

}  // namespace velocast::testing
