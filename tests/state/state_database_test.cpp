// The local state database: private to the account, one per club, versioned, and keyed so that
// a row ID handed out again is not taken for the row it once named.
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "state/state_database.h"
#include "support/posix_mode.h"

using namespace velocast;

TEST(StateDatabase, APrivateFilePerClubWithItsVersionAndTheSettingsChoiceFirst) {
    QString error;
    const QString a = StateDatabase::pathFor(QString(), QStringLiteral("sqlite:/srv/clube-a.sqlite"), &error);
    const QString b = StateDatabase::pathFor(QString(), QStringLiteral("sqlite:/srv/clube-b.sqlite"), &error);
    ASSERT_FALSE(a.isEmpty()) << error.toStdString();
    EXPECT_NE(a, b);
    EXPECT_TRUE(QFileInfo(a).fileName().startsWith(QLatin1String("state-"))) << a.toStdString();
    EXPECT_EQ(a, StateDatabase::pathFor(QString(), QStringLiteral("sqlite:/srv/clube-a.sqlite"), &error));

    QTemporaryDir dir;
    EXPECT_EQ(StateDatabase::pathFor(dir.filePath(QStringLiteral("own.sqlite")), QStringLiteral("whatever"), &error),
              dir.filePath(QStringLiteral("own.sqlite")));

    const QString path = dir.filePath(QStringLiteral("state.sqlite"));
    for (int open = 0; open < 2; ++open) {  // opening again keeps the file and its version
        StateDatabase state;
        ASSERT_TRUE(state.open(path, &error)) << error.toStdString();
        state.recordSent(QDateTime(QDate(2026, 3, 5), QTime(9, 0)));
    }
    if (const auto mode = velocast::testing::posixMode(path)) {
        EXPECT_EQ(*mode, 0600u);
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peek"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT COUNT(*), MAX(version) FROM schema_version")) && q.next());
        EXPECT_EQ(q.value(0).toInt(), 6);
        EXPECT_EQ(q.value(1).toInt(), 6);
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT COUNT(*) FROM sent")) && q.next());
        EXPECT_EQ(q.value(0).toInt(), 2);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("peek"));
}

TEST(StateDatabase, RetryStateBelongsToTheRowsContentNotOnlyToItsId) {
    StateDatabase state;
    QString error;
    ASSERT_TRUE(state.open(QString::fromLatin1(StateDatabase::kInMemory), &error)) << error.toStdString();
    const QDateTime t(QDate(2026, 3, 5), QTime(9, 0));
    const QByteArray key = StateDatabase::rowKey(QStringLiteral("ana@example.com"), QStringLiteral("Olá"));
    state.saveRetryState({7, key, 2, t, t.addSecs(900), QStringLiteral("450 4.2.0 Greylisted")});
    const auto kept = state.retryState(7, key);
    ASSERT_TRUE(kept.has_value());
    EXPECT_EQ(kept->attempts, 2);
    EXPECT_EQ(kept->nextTry, t.addSecs(900));
    EXPECT_EQ(kept->lastReply, QStringLiteral("450 4.2.0 Greylisted"));
    EXPECT_FALSE(state.retryState(7, StateDatabase::rowKey(QStringLiteral("bia@example.com"), QStringLiteral("Olá"))));
    EXPECT_FALSE(state.retryState(7, StateDatabase::rowKey(QStringLiteral("ana@example.com"), QStringLiteral("Oi"))));
    state.forgetRow(7);
    EXPECT_FALSE(state.retryState(7, key));
}
