#pragma once
// Month lengths on the Gregorian calendar.
#include <array>

namespace velocast {

// Days of each month, index 0 for January; February holds 28 and the leap day is added in code.
inline constexpr std::array<int, 12> DaysInMonthTable = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// The number of days of `month` (1 to 12) in `year`: divisible by 4 and not by 100, or by 400,
// makes February 29 days. Any year is accepted; a month outside 1 to 12 throws
// std::out_of_range.
int DaysPerMonth(int year, int month);

}  // namespace velocast
