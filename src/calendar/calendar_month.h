#pragma once
// A calendar month as a year and a month number, and the months counted back from a date.
#include <QList>

#include "calendar/date_time.h"

namespace velocast {

struct CalendarMonth {
    int year;   // below 1 for a month before the year 1 (-1 at the lowest)
    int month;  // 1 to 12
};

// The month `back` months before the month of `date`.
CalendarMonth monthBack(const DateTime& date, std::int64_t back);
// The `count` calendar months before the month of `date`, oldest first.
QList<CalendarMonth> monthsBefore(const DateTime& date, int count);

}  // namespace velocast
