#include <gtest/gtest.h>

#include "calendar/clock.h"
#include "calendar/date_time.h"

using namespace velocast;

TEST(Clock, ReadsTheSystemUnlessReplacedAndComesBackAfterNestedReplacements) {
    const QDateTime before = QDateTime::currentDateTime();
    const QDateTime system = localNow();
    // The system's local time, whole seconds, with the offset the time zone gives now.
    EXPECT_LE(qAbs(before.secsTo(system)), 2);
    EXPECT_EQ(system.offsetFromUtc(), before.offsetFromUtc());

    const QDateTime outer(QDate(2024, 5, 20), QTime(9, 30));
    const QDateTime inner(QDate(1999, 12, 31), QTime(23, 59, 59));
    {
        ScopedClock a([&] { return outer; });
        {
            ScopedClock b([&] { return inner; });
            EXPECT_EQ(localNow(), inner);
        }
        EXPECT_EQ(localNow(), outer);
        EXPECT_EQ(DateTime::now(), DateTime::fromQDateTime(outer));
    }
    EXPECT_LE(qAbs(QDateTime::currentDateTime().secsTo(localNow())), 2);
}
