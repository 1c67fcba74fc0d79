// Reading the send history back: by address (whole, or a part typed in the window), by day,
// newest first, and pruned by age.
#include <QDateTime>
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
    const char* addresses[] = {"ana@example.com", "joana@example.com", "Ana@Example.com", "50%_off@example.com", "5000off@example.com"};
    for (int i = 0; i < int(std::size(addresses)); ++i)
        history.record({t0.addDays(i), SendOutcome::Sent, QLatin1String(addresses[i]), QStringLiteral("Olá"), {}, {}, {}});

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
        HistoryFilter filter{QLatin1String(c.address), c.part, c.sinceDays < 0 ? QDateTime() : t0.addDays(c.sinceDays), c.limit};
        QStringList got;
        ASSERT_TRUE(history.read(filter, [&](const HistoryEntry& e) { got << e.address; }, &error)) << error.toStdString();
        EXPECT_EQ(got, c.expected);
    }

    EXPECT_EQ(history.prune(t0.addDays(3)), 3);
    QStringList left;
    ASSERT_TRUE(history.read({}, [&](const HistoryEntry& e) { left << e.address; }, &error));
    EXPECT_EQ(left, (QStringList{QStringLiteral("5000off@example.com"), QStringLiteral("50%_off@example.com")}));
}
