#include "calendar/calendar_month.h"

#include <algorithm>

namespace velocast {

CalendarMonth monthBack(const DateTime& date, std::int64_t back) {
    const QDate d = date.date();
    const std::int64_t index = std::int64_t(d.year()) * 12 + (d.month() - 1) - back;
    // Floor division: a count reaching before the year 1 gives a year below 1.
    const std::int64_t year = index >= 0 ? index / 12 : -((-index + 11) / 12);
    return {static_cast<int>(std::max<std::int64_t>(year, -1)), static_cast<int>(index - year * 12 + 1)};
}

QList<CalendarMonth> monthsBefore(const DateTime& date, int count) {
    QList<CalendarMonth> months;
    for (int back = count; back >= 1; --back) months.append(monthBack(date, back));
    return months;
}

}  // namespace velocast
