#pragma once
// A real SQLite host database in a temporary folder, with its data-link file, for tests.
#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

namespace velocast::testing {

class HostDatabase {
public:
    // Creates the full host schema, plus one settings row in Qzcvar and Qzcvar2 (switches
    // off) and one cash-register session (2024-01-08) unless `withSettings` is false.
    explicit HostDatabase(bool withSettings = true);
    // A database the program did not create: these statements make its schema, nothing more.
    explicit HostDatabase(const QStringList& ownSchema);
    ~HostDatabase();

    QString path() const { return dbPath_; }
    QString dataLinkPath() const { return udlPath_; }
    QString folder() const { return dir_.path(); }

    // Runs SQL on a connection of the test's own (not the program's); fails the test on error.
    void exec(const QString& sql, const QVariantMap& parameters = {});
    QVariant scalar(const QString& sql);
    // The first column of every row of a query, as text.
    QStringList strings(const QString& sql);
    int count(const QString& table, const QString& where = QString());
    bool tableExists(const QString& table);
    QSqlDatabase db() const;

    // Inserts a row; values keyed by column.
    void insert(const QString& table, const QVariantMap& values);

private:
    // A new, empty SQLite file (and the path of its data-link file), open under a name of its own.
    QSqlDatabase openEmpty();
    QTemporaryDir dir_;
    QString dbPath_;
    QString udlPath_;
    QString connectionName_;
};

// Writes a data-link file (UTF-8) with the given initialisation line.
void writeDataLink(const QString& path, const QString& initString);

}  // namespace velocast::testing
