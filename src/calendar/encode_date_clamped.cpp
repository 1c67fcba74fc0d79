#include "calendar/encode_date_clamped.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "calendar/days_per_month.h"

namespace velocast {

DateTime EncodeDateClamped(std::uint16_t year, std::uint16_t month, std::uint16_t day) {
    if (year < 1 || year > 9999)
        throw std::out_of_range("EncodeDateClamped: year " + std::to_string(year) + " is not between 1 and 9999");
    if (month < 1 || month > 12)
        throw std::out_of_range("EncodeDateClamped: month " + std::to_string(month) + " is not between 1 and 12");
    if (day < 1) throw std::invalid_argument("EncodeDateClamped: day 0 does not exist");
    // Lowering the day one at a time until the date exists ends on the month's last day.
    const int clamped = std::min<int>(day, DaysPerMonth(year, month));
    return DateTime::fromDate(QDate(year, month, clamped));
}

}  // namespace velocast
