#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>

#include "notices/notices.h"
#include "support/recording_notices.h"
#include "data/session.h"
#include "seed/demo_database.h"
#include "campaigns/daily_run.h"
#include "shell/commands/preview_command.h"
#include "support/host_database.h"
#include "support/qt_printers.h"
#include "support/stream_text.h"
#include "support/test_clock.h"

using namespace velocast;

namespace {

struct Captured {
    int status = 0;
    QString out, err;
};

Captured preview(const PreviewOptions& options) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Captured c;
    c.status = runPreview(options, out, err);
    c.out = velocast::testing::readAllAndClose(out);
    c.err = velocast::testing::readAllAndClose(err);
    return c;
}

// The fields of one CSV line, quotes undone (the demo's addresses include quoted ones).
QStringList csvFields(const QString& line) {
    QStringList fields{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted && c == QLatin1Char('"') && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
            fields.last() += c;
            ++i;
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (c == QLatin1Char(',') && !quoted) {
            fields << QString();
        } else {
            fields.last() += c;
        }
    }
    return fields;
}

// "address|subject" for each CSV line after the header.
QStringList previewedRows(const QString& csv) {
    QStringList rows;
    const QStringList lines = csv.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList f = csvFields(lines.at(i));
        rows << f.value(2) + QLatin1Char('|') + f.value(4);
    }
    rows.sort();
    return rows;
}

QStringList outboxRows(const QSqlDatabase& db) {
    QStringList rows;
    QSqlQuery q(db);
    q.exec(QStringLiteral("SELECT Email, Assunto FROM Velocast"));
    while (q.next()) rows << q.value(0).toString() + QLatin1Char('|') + q.value(1).toString();
    rows.sort();
    return rows;
}

}  // namespace

// The preview must be what the next real run writes, on the days that have campaigns of their
// own too (the renewal day, the loyalty day), and it must leave the database as it was.
TEST(Preview, ListsWhatTheNextRunWritesAndWritesNothing) {
    for (const QDate day : {QDate(2027, 1, 14), QDate(2027, 1, 26), QDate(2027, 2, 1)}) {
        SCOPED_TRACE(day.toString(Qt::ISODate).toStdString());
        QTemporaryDir dir;
        seed::DemoOptions demo;
        demo.path = dir.filePath(QStringLiteral("club.sqlite"));
        demo.date = day;
        QString error;
        ASSERT_TRUE(seed::writeDemoDatabase(demo, &error)) << error.toStdString();
        const QString udl = demo.path + QStringLiteral(".udl");
        velocast::testing::TestClock clock(QDateTime(day, QTime(8, 0)));

        const Captured shown = preview({udl, QDate(), false, true});
        ASSERT_EQ(shown.status, 0) << shown.err.toStdString();
        const QStringList previewed = previewedRows(shown.out);
        EXPECT_FALSE(previewed.isEmpty());

        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(demo.path);
            ASSERT_TRUE(db.open());
            {
                QSqlQuery q(db);
                q.exec(
                    QStringLiteral("SELECT (SELECT COUNT(*) FROM Velocast) + (SELECT COUNT(*) FROM ControleEmail) + "
                                   "(SELECT COUNT(*) FROM sqlite_master WHERE name LIKE 'TempFedelidade%')"));
                ASSERT_TRUE(q.next());
                EXPECT_EQ(q.value(0).toInt(), 0) << "the preview left rows, a latch or a run table";
            }

            SharedConnection connection(udl, QStringLiteral("run-") + name);
            connection.open();
            RecordingNotices notices;
            Session session(connection, notices);
            DailyRun run(session, notices);
            run.FormCreate();
            session.teardown();
            EXPECT_TRUE(notices.shown.empty());
            EXPECT_EQ(outboxRows(db).join(QLatin1Char('\n')).toStdString(),
                      previewed.join(QLatin1Char('\n')).toStdString());
        }
        QSqlDatabase::removeDatabase(name);
    }
}

TEST(Preview, SaysWhyACampaignListsNobody) {
    QTemporaryDir dir;
    seed::DemoOptions demo;
    demo.path = dir.filePath(QStringLiteral("club.sqlite"));
    demo.date = QDate(2027, 1, 14);
    QString error;
    ASSERT_TRUE(seed::writeDemoDatabase(demo, &error)) << error.toStdString();
    velocast::testing::TestClock clock(QDateTime(demo.date, QTime(8, 0)));
    const QString udl = demo.path + QStringLiteral(".udl");

    const Captured text = preview({udl, QDate(), false, false});
    EXPECT_EQ(text.status, 0);
    EXPECT_TRUE(text.out.contains(QStringLiteral("FIDELIDADE: not due on 2027-01-14"))) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains(QStringLiteral("PLANOS_A_VENCER: not due on 2027-01-14")));
    // Another day than the cash register's.
    const Captured renewal = preview({udl, QDate(2027, 1, 27), false, false});
    EXPECT_TRUE(renewal.out.contains(QStringLiteral("PLANOS_A_VENCER: "))) << renewal.out.toStdString();
    EXPECT_FALSE(renewal.out.contains(QStringLiteral("PLANOS_A_VENCER: not due")));

    // A campaign switched off is named, and listed only with --all.
    {
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(demo.path);
            ASSERT_TRUE(db.open());
            QSqlQuery(db).exec(QStringLiteral("UPDATE Qzcvar2 SET MARKETING_AUSENTES = 'Não'"));
        }
        QSqlDatabase::removeDatabase(name);
    }
    EXPECT_TRUE(preview({udl, QDate(), false, false}).out.contains(QStringLiteral("AUSENTES: switched off")));
    EXPECT_TRUE(preview({udl, QDate(), true, false}).out.contains(QStringLiteral("AUSENTES [switched off]: ")));

    const Captured missing = preview({dir.filePath(QStringLiteral("none.udl")), QDate(), false, false});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("none.udl"))) << missing.err.toStdString();
}
