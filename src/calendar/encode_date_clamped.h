#pragma once
// A date from its parts, with a day the month lacks moved down to the month's last day.
#include <cstdint>

#include "calendar/date_time.h"

namespace velocast {

// Midnight of day `day` of `month` (1 to 12) of `year` (1 to 9999); a day past the end of the
// month (31 April, 29 February of a common year, or any larger number) becomes the month's
// last day. A year or month out of range throws std::out_of_range; day 0 throws
// std::invalid_argument.
DateTime EncodeDateClamped(std::uint16_t year, std::uint16_t month, std::uint16_t day);

}  // namespace velocast
