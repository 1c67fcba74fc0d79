#include <gtest/gtest.h>

#include <vector>

#include "calendar/date_time.h"
#include "calendar/holidays.h"
#include "calendar/loyalty_day.h"

namespace velocast {
namespace {

DateTime on(int y, int m, int d) { return DateTime::fromDate(QDate(y, m, d)); }

const QString kList = QStringLiteral("01/0121/0407/0925/12");

struct HolidayCase {
    const char* what;
    DateTime businessDate;
    QString list;
    bool expected;
};

TEST(Acha_Feriado, TestsTheDayBeforeTheBusinessDate) {
    const QString full21 = QStringLiteral("01/01").repeated(20) + QStringLiteral("09/07");
    const HolidayCase cases[] = {
        {"first entry", on(2025, 1, 2), kList, true},
        {"second entry", on(2025, 4, 22), kList, true},
        {"not listed", on(2025, 6, 3), kList, false},
        {"the business date itself is not tested", on(2025, 4, 21), kList, false},
        {"empty list", on(2025, 1, 2), QString(), false},
        {"leap day", on(2024, 3, 1), QStringLiteral("29/02"), true},
        {"28/02 in a common year", on(2025, 3, 1), QStringLiteral("28/02"), true},
        {"29/02 not tested in a common year", on(2025, 3, 1), QStringLiteral("29/02"), false},
        {"previous year", on(2025, 1, 1), QStringLiteral("31/12"), true},
        {"time of day ignored", DateTime::fromDays(on(2025, 1, 2).days() + 0.99), kList, true},
        {"no leading zeros shift later entries", on(2025, 4, 22), QStringLiteral("1/1/21/04"), false},
        {"21st entry at positions 101 to 105", on(2025, 7, 10), full21, true},
        {"blank padding", on(2025, 12, 26), QStringLiteral("25/12     "), true},
        {"blank padding never matches", on(2025, 12, 27), QStringLiteral("25/12     "), false},
        {"listed twice", on(2025, 12, 26), QStringLiteral("25/1225/12"), true},
        {"other separator", on(2025, 12, 26), QStringLiteral("25-12"), false},
        {"partial last entry ignored", on(2025, 12, 26), QStringLiteral("01/0125/1"), false},
        {"entries before a partial one", on(2025, 12, 26), QStringLiteral("25/1201/0"), true},
        {"shorter than one entry", on(2025, 12, 26), QStringLiteral("25/1"), false},
        {"zero business date tests 29/12", DateTime(), QStringLiteral("29/12"), true},
    };
    ASSERT_EQ(full21.size(), 105);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Acha_Feriado(1, c.businessDate, c.list), c.expected);
        // The day number takes no part in the answer.
        EXPECT_EQ(Acha_Feriado(27, c.businessDate, c.list), c.expected);
    }
}

struct LoyaltyCase {
    const char* what;
    DateTime businessDate;
    QString list;
    bool due;
    std::vector<int> asked;  // day numbers the holiday test is called with
};

TEST(LoyaltyDay, RunsOnTheFirstOrAfterAHolidayOnTheSecondToFourth) {
    const LoyaltyCase cases[] = {
        {"1st, whatever the list", on(2025, 5, 1), QString(), true, {}},
        {"2 May with 01/05", on(2025, 5, 2), QStringLiteral("01/05"), true, {1}},
        {"2 May without 01/05", on(2025, 5, 2), kList, false, {1}},
        {"3rd after a holiday", on(2025, 9, 3), QStringLiteral("02/09"), true, {2}},
        {"4 June with 03/06", on(2025, 6, 4), QStringLiteral("03/06"), true, {1}},
        {"4 June with only 01/06", on(2025, 6, 4), QStringLiteral("01/06"), false, {1}},
        {"5th", on(2025, 6, 5), QStringLiteral("04/06"), false, {}},
        {"31st", on(2025, 12, 31), QStringLiteral("30/12"), false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<int> asked;
        const bool due = loyaltyCampaignDue(c.businessDate, [&](int dayNumber) {
            asked.push_back(dayNumber);
            return Acha_Feriado(dayNumber, c.businessDate, c.list);
        });
        EXPECT_EQ(due, c.due);
        EXPECT_EQ(asked, c.asked);
    }
}

TEST(LoyaltyDay, ErrorsOfTheHolidayTestPassThrough) {
    const auto failing = [](int) -> bool { throw std::runtime_error("FERIADOS unreadable"); };
    EXPECT_THROW(loyaltyCampaignDue(on(2025, 5, 2), failing), std::runtime_error);
    EXPECT_TRUE(loyaltyCampaignDue(on(2025, 5, 1), failing));
}

}  // namespace
}  // namespace velocast
