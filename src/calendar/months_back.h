#pragma once
// The date a number of months before a given date, as the campaigns compare with it.
#include <cstdint>

#include "calendar/date_time.h"

namespace velocast {

// Midnight of the same day of the month `months` months before `date` (its time of day is
// dropped); a day the target month lacks becomes its last day (31/03 one month back is 28/02
// or 29/02). With `exact` false the result is one day later (so 31/03/2023 gives 01/03/2023).
// A negative count throws std::invalid_argument; a result before the year 1 throws
// std::out_of_range, as does a `date` outside the years 1 to 9999.
DateTime MonthsBack(std::int32_t months, bool exact, const DateTime& date);

}  // namespace velocast
