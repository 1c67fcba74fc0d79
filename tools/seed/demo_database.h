#pragma once
// The demo club database: a SQLite host database with the full host schema, the settings
// rows, one cash-register session on the business date and a crowd of members made so that
// every campaign has recipients on that date (see demo_members.h). Next to it go the data-link
// file that points the program at it and the birthday campaign's image.
#include <QDate>
#include <functional>
#include <QSqlDatabase>
#include <QString>

#include <cstdint>

namespace velocast::seed {

struct DemoOptions {
    QString path;  // the database file
    int members = 200;
    QDate date;  // business date; invalid means today
    std::uint64_t seed = 1;
    bool force = false;   // replace an existing database and its companions
    int smtpPort = 2525;  // the local SMTP server the club's settings name
    // Told as the members are written (members written so far, of all): a large club takes
    // a while.
    std::function<void(int done, int total)> progress;
};

struct DemoFiles {
    QString database, dataLink, image;  // absolute paths
};

// The companions of a database file: PATH.udl and PATH.d/parabens.png.
DemoFiles demoFiles(const QString& path);

// Writes the database, the data-link file and the image. Without force, refuses when the
// database or its data-link file already exists; with force, removes them (and the image)
// first. On failure the files of this demo are removed and *error says what went wrong.
bool writeDemoDatabase(const DemoOptions& options, QString* error);

// Fills an open database that holds the empty host schema in one transaction, and adds the
// indexes that are missing (after the rows, which is much faster than before). imagePath is stored as the birthday campaign's image.
bool fillDemoDatabase(QSqlDatabase& db, const DemoOptions& options, const QString& imagePath, QString* error);

// The data-link text that points at a SQLite database file.
QString dataLinkText(const QString& absoluteDatabasePath);

}  // namespace velocast::seed
