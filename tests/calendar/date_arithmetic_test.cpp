#include <gtest/gtest.h>

#include <stdexcept>

#include "calendar/date_time.h"
#include "calendar/days_per_month.h"
#include "calendar/encode_date_clamped.h"
#include "calendar/months_back.h"

namespace velocast {
namespace {

DateTime at(int y, int m, int d, int h = 0, int min = 0) {
    return DateTime::fromQDateTime(QDateTime(QDate(y, m, d), QTime(h, min)));
}

struct MonthsBackCase {
    int months;
    bool exact;
    DateTime from;
    const char* expected;
};

TEST(MonthsBack, CalendarTable) {
    const MonthsBackCase cases[] = {
        {6, true, at(2024, 6, 15), "15/12/2023"},        {13, true, at(2024, 1, 15), "15/12/2022"},
        {1, true, at(2024, 1, 31), "31/12/2023"},        {3, true, at(2024, 5, 31), "29/02/2024"},
        {1, true, at(2023, 3, 31), "28/02/2023"},        {1, false, at(2023, 3, 31), "01/03/2023"},
        {12, true, at(2024, 2, 29), "28/02/2023"},       {0, true, at(2024, 3, 10, 14, 30), "10/03/2024"},
        {0, false, at(2024, 3, 10), "11/03/2024"},       {12, false, at(2024, 12, 31, 23, 59), "01/01/2024"},
        {24 + 11, true, at(2024, 11, 30), "30/12/2021"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.months << (c.exact ? " exact from " : " from ")
                                        << c.from.format("DD/MM/YYYY").toStdString());
        const DateTime result = MonthsBack(c.months, c.exact, c.from);
        EXPECT_EQ(result.format("DD/MM/YYYY"), c.expected);
        EXPECT_EQ(result.days(), result.dateOnly().days()) << "result must be at midnight";
    }
}

TEST(MonthsBack, RejectsNegativeCountsAndResultsBeforeTheYear1) {
    EXPECT_THROW(MonthsBack(-1, true, at(2024, 6, 15)), std::invalid_argument);
    EXPECT_THROW(MonthsBack(12 * 2024, true, at(2024, 6, 15)), std::out_of_range);
    EXPECT_EQ(MonthsBack(12 * 2023 + 5, true, at(2024, 6, 15)).format("DD/MM/YYYY"), "15/01/0001");
}

TEST(EncodeDateClamped, MovesAMissingDayDownToTheMonthsLastDay) {
    struct Case {
        int y, m, d;
        const char* expected;
    };
    const Case cases[] = {
        {2023, 4, 31, "30/04/2023"}, {2024, 2, 31, "29/02/2024"},  {2023, 2, 29, "28/02/2023"},
        {1900, 2, 29, "28/02/1900"}, {2024, 1, 31, "31/01/2024"},  {2024, 6, 65535, "30/06/2024"},
        {1, 1, 1, "01/01/0001"},     {9999, 12, 31, "31/12/9999"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        const DateTime v = EncodeDateClamped(c.y, c.m, c.d);
        EXPECT_EQ(v.format("DD/MM/YYYY"), c.expected);
        EXPECT_EQ(v.format("HHMMSS"), "000000");
    }
}

TEST(EncodeDateClamped, RejectsMonthsAndYearsOutOfRangeAndDayZero) {
    EXPECT_THROW(EncodeDateClamped(2024, 0, 1), std::out_of_range);
    EXPECT_THROW(EncodeDateClamped(2024, 13, 1), std::out_of_range);
    EXPECT_THROW(EncodeDateClamped(0, 1, 1), std::out_of_range);
    EXPECT_THROW(EncodeDateClamped(10000, 1, 1), std::out_of_range);
    EXPECT_THROW(EncodeDateClamped(2024, 1, 0), std::invalid_argument);
}

TEST(DaysPerMonth, LengthsAndLeapYears) {
    struct Case {
        int y, m, days;
    };
    const Case cases[] = {
        {2024, 2, 29},  {2023, 2, 28}, {1900, 2, 28}, {2000, 2, 29}, {2024, 4, 30},
        {2024, 12, 31}, {2024, 1, 31}, {2100, 2, 28}, {2023, 9, 30},
    };
    for (const auto& c : cases) EXPECT_EQ(DaysPerMonth(c.y, c.m), c.days) << c.m << "/" << c.y;
    for (int month : {0, 13, -1}) EXPECT_THROW(DaysPerMonth(2024, month), std::out_of_range) << month;
}

}  // namespace
}  // namespace velocast
