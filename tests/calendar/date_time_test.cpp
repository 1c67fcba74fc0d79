#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "calendar/date_time.h"

namespace velocast {
namespace {

struct FormatCase {
    QDateTime at;
    double days;
    const char* ddmmyyyy;
    const char* yyyymm;
    const char* hhmmss;
};

// Known values of the host's day count, including years under 1000 (zero-padded) and dates
// before the zero day, where the fraction still counts forwards from midnight.
TEST(DateTime, FormatsAndDayCountsOfKnownValues) {
    const FormatCase cases[] = {
        {QDateTime(QDate(1899, 12, 30), QTime(0, 0)), 0.0, "30/12/1899", "189912", "000000"},
        {QDateTime(QDate(1900, 1, 1), QTime(12, 0)), 2.5, "01/01/1900", "190001", "120000"},
        {QDateTime(QDate(2024, 3, 1), QTime(14, 30, 15)), 45352 + (14 * 3600 + 30 * 60 + 15) / 86400.0, "01/03/2024",
         "202403", "143015"},
        {QDateTime(QDate(1899, 12, 29), QTime(6, 0)), -1.25, "29/12/1899", "189912", "060000"},
        {QDateTime(QDate(1800, 7, 4), QTime(18, 0)), -36338.75, "04/07/1800", "180007", "180000"},
        {QDateTime(QDate(5, 2, 3), QTime(0, 0)), -692099.0, "03/02/0005", "000502", "000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ddmmyyyy);
        const DateTime fromParts = DateTime::fromQDateTime(c.at);
        EXPECT_NEAR(fromParts.days(), c.days, 1e-9);
        const DateTime v = DateTime::fromDays(c.days);
        EXPECT_EQ(v.format("DD/MM/YYYY"), c.ddmmyyyy);
        EXPECT_EQ(v.format("YYYYMM"), c.yyyymm);
        EXPECT_EQ(v.format("HHMMSS"), c.hhmmss);
        EXPECT_EQ(v.format("DD") + "/" + v.format("MM") + "/" + v.format("YYYY"), c.ddmmyyyy);
        EXPECT_EQ(v.toQDateTime(), c.at);
    }
}

TEST(DateTime, RoundTripsThroughQtTypes) {
    const QDateTime samples[] = {
        QDateTime(QDate(2025, 1, 1), QTime(0, 0)),    QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999)),
        QDateTime(QDate(1899, 12, 30), QTime(12, 0)), QDateTime(QDate(1899, 12, 29), QTime(23, 59, 59, 1)),
        QDateTime(QDate(1, 1, 1), QTime(0, 0)),       QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999)),
    };
    for (const auto& at : samples) {
        SCOPED_TRACE(at.toString(Qt::ISODateWithMs).toStdString());
        const DateTime v = DateTime::fromQDateTime(at);
        EXPECT_EQ(v.toQDateTime(), at);
        EXPECT_EQ(v.date(), at.date());
        EXPECT_EQ(v.time(), at.time());
        EXPECT_EQ(DateTime::fromDate(at.date()), v.dateOnly());
    }
    EXPECT_TRUE(DateTime::fromDate(QDate()).isZero());
    EXPECT_TRUE(DateTime::fromQDateTime(QDateTime()).isZero());
}

// A value a hair below midnight is midnight of the next day, on both sides of the zero day.
TEST(DateTime, RoundsToTheMillisecondBeforeSplittingDateAndTime) {
    const DateTime late = DateTime::fromDays(45352.0 - 1e-10);
    EXPECT_EQ(late.format("DD/MM/YYYY"), "01/03/2024");
    EXPECT_EQ(late.format("HHMMSS"), "000000");
    EXPECT_EQ(late.toQDateTime(), QDateTime(QDate(2024, 3, 1), QTime(0, 0)));

    const DateTime early = DateTime::fromDays(-1.0 - (1.0 - 1e-10));
    EXPECT_EQ(early.toQDateTime(), QDateTime(QDate(1899, 12, 28), QTime(0, 0)));
}

TEST(DateTime, AddDaysAndOrdering) {
    const DateTime v = DateTime::fromQDateTime(QDateTime(QDate(2024, 3, 1), QTime(8, 15)));
    EXPECT_EQ(v.addDays(-1).toQDateTime(), QDateTime(QDate(2024, 2, 29), QTime(8, 15)));
    EXPECT_EQ(v.addDays(366).toQDateTime(), QDateTime(QDate(2025, 3, 2), QTime(8, 15)));
    // Crossing the zero day keeps the time of day under the backwards-counting convention.
    const DateTime z = DateTime::fromDays(0.25);
    EXPECT_EQ(z.addDays(-1).toQDateTime(), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
    EXPECT_EQ(z.addDays(-1).addDays(1), z);
    EXPECT_LT(v.addDays(-1), v);
    EXPECT_EQ(v.dateOnly().format("HHMMSS"), "000000");
}

TEST(DateTime, RejectsUnsupportedPatternsAndValuesOutsideTheYears1To9999) {
    const DateTime v = DateTime::fromDays(45352.0);
    for (const char* pattern : {"dd/mm/yyyy", "DD/MM", "", "HH:MM:SS"}) {
        SCOPED_TRACE(pattern);
        EXPECT_THROW(v.format(pattern), std::invalid_argument);
    }
    for (double days : {-693594.0, 2958466.0, 1e300, std::nan(""), std::numeric_limits<double>::infinity()}) {
        SCOPED_TRACE(days);
        EXPECT_THROW(DateTime::fromDays(days).date(), std::out_of_range);
        EXPECT_THROW(DateTime::fromDays(days).format("DD"), std::out_of_range);
    }
    EXPECT_THROW(DateTime::fromDate(QDate(9999, 12, 31)).addDays(1), std::out_of_range);
}

}  // namespace
}  // namespace velocast
