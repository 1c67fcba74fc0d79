#include "calendar/days_per_month.h"

#include <stdexcept>
#include <string>

namespace velocast {

int DaysPerMonth(int year, int month) {
    if (month < 1 || month > 12)
        throw std::out_of_range("DaysPerMonth: month " + std::to_string(month) + " is not between 1 and 12");
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return DaysInMonthTable[month - 1] + (month == 2 && leap ? 1 : 0);
}

}  // namespace velocast
