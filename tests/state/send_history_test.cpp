// Reading the send history back: by address (whole, or a part typed in the window), by day,
// newest first, and pruned by age; and a state file written before the history gains it.
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "state/send_history.h"
#include "state/state_database.h"

using namespace velocast;

TEST(SendHistory, FindsAnAddressInAnyCaseOrByAPartAndDropsWhatIsPastItsRetention) {
    StateDatabase state;
    QString error;
    ASSERT_TRUE(state.open(QString::fromLatin1(StateDatabase::kInMemory), &error)) << error.toStdString();
    SendHistory history(state);
    const QDateTime t0(QDate(2026, 3, 1), QTime(8, 0));
    const char* addresses[] = {"ana@example.com", "joana@example.com", "Ana@Example.com", "50%_off@example.com",
                               "5000off@example.com"};
    for (int i = 0; i < int(std::size(addresses)); ++i)
        history.record(
            {t0.addDays(i), SendOutcome::Sent, QLatin1String(addresses[i]), QStringLiteral("Olá"), {}, {}, {}});

    struct Case {
        const char* address;
        bool part;
        int sinceDays;  // after t0; -1: no limit
        int limit;
        QStringList expected;  // newest first
    };
    const Case cases[] = {
        {"ANA@example.com ", false, -1, 0, {"Ana@Example.com", "ana@example.com"}},
        {"ana@", true, -1, 0, {"Ana@Example.com", "joana@example.com", "ana@example.com"}},
        {"%_", true, -1, 0, {"50%_off@example.com"}},  // typed characters, not wildcards
        {"", false, 2, 0, {"5000off@example.com", "50%_off@example.com", "Ana@Example.com"}},
        {"", false, -1, 1, {"5000off@example.com"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        HistoryFilter filter{QLatin1String(c.address), c.part, c.sinceDays < 0 ? QDateTime() : t0.addDays(c.sinceDays),
                             c.limit};
        QStringList got;
        ASSERT_TRUE(history.read(
            filter, [&](const HistoryEntry& e) { got << e.address; }, &error))
            << error.toStdString();
        EXPECT_EQ(got, c.expected);
    }

    EXPECT_EQ(history.prune(t0.addDays(3)), 3);
    QStringList left;
    ASSERT_TRUE(history.read(
        {}, [&](const HistoryEntry& e) { left << e.address; }, &error));
    EXPECT_EQ(left, (QStringList{QStringLiteral("5000off@example.com"), QStringLiteral("50%_off@example.com")}));
}

TEST(SendHistory, AStateFileOfTheEarlierVersionGainsTheHistoryAndKeepsItsRetryState) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state.sqlite"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("earlier"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (const char* sql :
             {"CREATE TABLE schema_version (version INTEGER NOT NULL)", "INSERT INTO schema_version VALUES (1)",
              "CREATE TABLE retry_state (row_id INTEGER PRIMARY KEY, row_key TEXT NOT NULL, attempts INTEGER NOT NULL, "
              "first_try INTEGER NOT NULL, next_try INTEGER NOT NULL, last_reply TEXT NOT NULL)",
              "INSERT INTO retry_state VALUES (7, 'k', 2, 0, 900, '450 4.2.0 Greylisted')",
              "CREATE TABLE sent (at INTEGER NOT NULL)", "CREATE INDEX sent_at ON sent (at)"})
            ASSERT_TRUE(q.exec(QLatin1String(sql))) << sql;
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("earlier"));

    StateDatabase state;
    QString error;
    ASSERT_TRUE(state.open(path, &error)) << error.toStdString();
    EXPECT_EQ(state.retryState(7, "k").value_or(RetryState{}).attempts, 2);
    SendHistory(state).record(
        {QDateTime(QDate(2026, 3, 5), QTime(9, 0)), SendOutcome::Invalid, QStringLiteral("x"), {}, {}, {}, {}});
    int entries = 0;
    ASSERT_TRUE(SendHistory(state).read(
        {}, [&](const HistoryEntry&) { ++entries; }, &error))
        << error.toStdString();
    EXPECT_EQ(entries, 1);
}
