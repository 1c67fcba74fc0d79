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

// Entries as the sender writes them: each field comes back as it went in, whatever the shape of
// its Message-ID and reply, and a delivery report finds the message by its Message-ID.
TEST(SendHistory, EveryFieldComesBackAndAMessageIsFoundByItsMessageId) {
    StateDatabase state;
    QString error;
    ASSERT_TRUE(state.open(QString::fromLatin1(StateDatabase::kInMemory), &error)) << error.toStdString();
    SendHistory history(state);
    const QDateTime t0(QDate(2026, 3, 1), QTime(8, 0));
    QList<HistoryEntry> entries = {
        {t0, SendOutcome::Sent, QStringLiteral("ana@example.com"), QStringLiteral("Feliz aniversário!"),
         QStringLiteral("ANIVERSARIANTE"), QStringLiteral("<20261211093000123.0123456789abcdef01234567@clube.com.br>"),
         QStringLiteral("250 2.0.0 Ok: queued as 3A4B5C6D7E"), 41},
        {t0.addSecs(1),
         SendOutcome::Sent,
         QStringLiteral("bia@example.com"),
         QStringLiteral("Aviso"),
         {},
         QStringLiteral("<0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0@clube.com.br>"),
         QStringLiteral("250 2.0.0 OK  1702288888 d9443c01a7336-1d0a.12 - gsmtp"),
         42},
        {t0.addSecs(2),
         SendOutcome::Sent,
         QStringLiteral("caio@example.com"),
         QStringLiteral("Aviso"),
         {},
         QStringLiteral("<Some.Other-ID@host>"),
         QStringLiteral("250 ok"),
         0},
        {t0.addSecs(3),
         SendOutcome::Refused,
         QStringLiteral("dani@example.com"),
         QStringLiteral("Aviso"),
         {},
         {},
         QStringLiteral("550 5.1.1 <dani@example.com>: user 12 unknown\x01 here"),
         43},
        {t0.addSecs(4), SendOutcome::RemovedByStaff, {}, QStringLiteral("Aviso"), {}, {}, {}, 44},
        {t0.addSecs(5), SendOutcome::Bounced, QStringLiteral("ana@example.com"), QStringLiteral("Feliz aniversário!"),
         QStringLiteral("ANIVERSARIANTE"), QStringLiteral("noangle"), QStringLiteral("5.1.1 (user unknown)"), 41},
    };
    // Message-IDs made a moment and a day before their entry's time.
    for (qint64 before : {1500LL, 86400000LL})
        entries.append({t0.addSecs(6),
                        SendOutcome::Sent,
                        QStringLiteral("edu@example.com"),
                        QStringLiteral("Aviso"),
                        {},
                        QStringLiteral("<%1.00ff00ff00ff00ff00ff00ff@clube.com.br>")
                            .arg(t0.addSecs(6).toUTC().addMSecs(-before).toString(QStringLiteral("yyyyMMddHHmmsszzz"))),
                        QStringLiteral("250 2.0.0 Ok: queued as ABCDEF"),
                        45});
    history.recordAll(entries);

    QList<HistoryEntry> got;
    ASSERT_TRUE(history.read(
        {}, [&](const HistoryEntry& e) { got.prepend(e); }, &error))
        << error.toStdString();
    ASSERT_EQ(got.size(), entries.size());
    for (int i = 0; i < entries.size(); ++i) {
        SCOPED_TRACE(i);
        const HistoryEntry &in = entries[i], &out = got[i];
        EXPECT_EQ(out.at, in.at);
        EXPECT_EQ(out.outcome, in.outcome);
        EXPECT_EQ(out.address, in.address.isNull() ? QStringLiteral("") : in.address);
        EXPECT_EQ(out.subject, in.subject);
        EXPECT_EQ(out.campaign, in.campaign.isNull() ? QStringLiteral("") : in.campaign);
        EXPECT_EQ(out.messageId.toStdString(), in.messageId.toStdString());
        EXPECT_EQ(out.reply.toStdString(), in.reply.toStdString());
        EXPECT_EQ(out.outboxRow, in.outboxRow);
    }
    for (int i : {0, 1, 2, 6, 7}) {
        const auto found = history.sentMessage(entries[i].messageId);
        ASSERT_TRUE(found) << i;
        EXPECT_EQ(found->address, entries[i].address);
        EXPECT_EQ(found->outboxRow, entries[i].outboxRow);
    }
    // Only a sent message is found, and only by its whole Message-ID.
    EXPECT_FALSE(history.sentMessage(QStringLiteral("noangle")));
    EXPECT_FALSE(history.sentMessage(QStringLiteral("<20261211093000123.0123456789abcdef01234567@other.com.br>")));
    EXPECT_FALSE(history.sentMessage(QStringLiteral("<20261211093000124.0123456789abcdef01234567@clube.com.br>")));
}

// A long prune goes in steps of its own size, the oldest first; an address goes with its last
// entry, and the lookups see what is left.
TEST(SendHistory, PrunesInStepsAndForgetsAnAddressWithItsLastEntry) {
    StateDatabase state;
    QString error;
    ASSERT_TRUE(state.open(QString::fromLatin1(StateDatabase::kInMemory), &error)) << error.toStdString();
    SendHistory history(state);
    const QDateTime t0(QDate(2026, 3, 1), QTime(8, 0));
    QList<HistoryEntry> entries;
    for (int i = 0; i < 25; ++i)
        entries.append({t0.addSecs(i),
                        SendOutcome::Sent,
                        i < 10 ? QStringLiteral("old@example.com") : QStringLiteral("kept@example.com"),
                        QStringLiteral("Olá"),
                        {},
                        QStringLiteral("<%1@clube.com.br>").arg(i),
                        {},
                        i + 1});
    // Written out of order (a clock set back): the oldest still go first.
    std::swap(entries[3], entries[20]);
    history.recordAll(entries);

    const QDateTime before = t0.addSecs(15);
    EXPECT_EQ(history.prune(before, 4), 4);
    EXPECT_EQ(history.prune(before, 4), 4);
    EXPECT_TRUE(history.sentMessage(QStringLiteral("<9@clube.com.br>")));
    EXPECT_EQ(history.pruneAll(before), 7);
    EXPECT_EQ(history.prune(before, 4), 0);
    EXPECT_FALSE(history.sentMessage(QStringLiteral("<14@clube.com.br>")));
    EXPECT_TRUE(history.sentMessage(QStringLiteral("<15@clube.com.br>")));

    QSqlQuery q(state.database());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT address FROM history_address")));
    QStringList addresses;
    while (q.next()) addresses << q.value(0).toString();
    EXPECT_EQ(addresses, QStringList{QStringLiteral("kept@example.com")});
    int left = 0;
    ASSERT_TRUE(history.read(
        {QStringLiteral("KEPT@example.com"), false, {}, 0}, [&](const HistoryEntry&) { ++left; }, &error));
    EXPECT_EQ(left, 10);
}

// A file of the version before the compact history keeps every entry, each field as it was,
// and comes out able to hand freed space back to the disk.
TEST(SendHistory, AFileOfTheEarlierHistoryKeepsEveryEntry) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state.sqlite"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("before"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (const char* sql : {
                 "CREATE TABLE schema_version (version INTEGER NOT NULL)",
                 "INSERT INTO schema_version VALUES (1), (2), (3), (4)",
                 "CREATE TABLE retry_state (row_id INTEGER PRIMARY KEY, row_key TEXT NOT NULL, attempts INTEGER NOT "
                 "NULL, first_try INTEGER NOT NULL, next_try INTEGER NOT NULL, last_reply TEXT NOT NULL)",
                 "CREATE TABLE sent (at INTEGER NOT NULL)",
                 "CREATE INDEX sent_at ON sent (at)",
                 "CREATE TABLE send_history (id INTEGER PRIMARY KEY, at INTEGER NOT NULL, outcome TEXT NOT NULL, "
                 "address TEXT NOT NULL, subject TEXT NOT NULL, campaign TEXT NOT NULL, message_id TEXT NOT NULL, "
                 "reply TEXT NOT NULL)",
                 "CREATE INDEX send_history_at ON send_history (at)",
                 "CREATE INDEX send_history_address ON send_history (address COLLATE NOCASE)",
                 "CREATE TABLE suppression (address TEXT NOT NULL, scope TEXT NOT NULL, reason TEXT NOT NULL, "
                 "at INTEGER NOT NULL, source TEXT NOT NULL, PRIMARY KEY (address, scope))",
                 "CREATE TABLE bounce_event (event_key TEXT PRIMARY KEY, address TEXT NOT NULL, kind TEXT NOT NULL, "
                 "at INTEGER NOT NULL, counted INTEGER NOT NULL)",
                 "CREATE INDEX bounce_event_address ON bounce_event (address, at)",
                 "CREATE INDEX send_history_message_id ON send_history (message_id)",
                 "ALTER TABLE send_history ADD COLUMN outbox_row INTEGER",
                 "INSERT INTO send_history VALUES (1, 1000, 'sent', 'Ana@Example.com', 'Olá', 'AUSENTES', "
                 "'<20260301080000000.0123456789abcdef01234567@clube.com.br>', '250 2.0.0 Ok: queued as 1F', 7)",
                 "INSERT INTO send_history VALUES (2, 1000, 'bounced', 'ana@example.com', 'Olá', 'AUSENTES', '', "
                 "'5.1.1 user unknown', 7)",
                 "INSERT INTO send_history VALUES (3, 2000, 'removed by the staff', '', 'Aviso', '', '', '', NULL)",
                 "INSERT INTO send_history VALUES (4, 3000, 'suppressed', 'bia@example.com', 'Aviso', '', '', "
                 "'unsubscribed', 9)",
             })
            ASSERT_TRUE(q.exec(QString::fromUtf8(sql))) << sql;
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("before"));

    StateDatabase state;
    QString error;
    ASSERT_TRUE(state.open(path, &error)) << error.toStdString();
    SendHistory history(state);
    QStringList got;
    ASSERT_TRUE(history.read(
        {},
        [&](const HistoryEntry& e) {
            got << QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8")
                       .arg(e.at.toSecsSinceEpoch())
                       .arg(sendOutcomeName(e.outcome), e.address, e.subject, e.campaign, e.messageId, e.reply)
                       .arg(e.outboxRow);
        },
        &error))
        << error.toStdString();
    EXPECT_EQ(got, (QStringList{
                       QStringLiteral("3000|suppressed|bia@example.com|Aviso|||unsubscribed|9"),
                       QStringLiteral("2000|removed by the staff||Aviso||||0"),
                       QStringLiteral("1000|bounced|ana@example.com|Olá|AUSENTES||5.1.1 user unknown|7"),
                       QStringLiteral("1000|sent|Ana@Example.com|Olá|AUSENTES|<20260301080000000."
                                      "0123456789abcdef01234567@clube.com.br>|250 2.0.0 Ok: queued as 1F|7"),
                   }));
    const auto sent = history.sentMessage(QStringLiteral("<20260301080000000.0123456789abcdef01234567@clube.com.br>"));
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->outboxRow, 7);
    int byAddress = 0;
    ASSERT_TRUE(history.read(
        {QStringLiteral("ANA@example.com"), false, {}, 0}, [&](const HistoryEntry&) { ++byAddress; }, &error));
    EXPECT_EQ(byAddress, 2);
    QSqlQuery q(state.database());
    ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA auto_vacuum")) && q.next());
    EXPECT_EQ(q.value(0).toInt(), 2);  // incremental
    // A new entry beside the old ones.
    history.record({QDateTime::fromSecsSinceEpoch(4000),
                    SendOutcome::Sent,
                    QStringLiteral("bia@example.com"),
                    QStringLiteral("Aviso"),
                    {},
                    QStringLiteral("<x@clube.com.br>"),
                    QStringLiteral("250 ok"),
                    10});
    EXPECT_TRUE(history.sentMessage(QStringLiteral("<x@clube.com.br>")));
}
