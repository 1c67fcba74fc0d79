#pragma once
// Whether the loyalty campaign is due on the business date.
#include <functional>

#include "calendar/date_time.h"

namespace velocast {

// The loyalty message goes out on the 1st of the month, or on the 2nd, 3rd or 4th when the
// day before is a holiday. By the day of the month of `businessDate`:
//   1        due, without asking `holidayTest`;
//   2 or 3   holidayTest(day - 1);
//   4        holidayTest(1);
//   5 to 31  not due, without asking `holidayTest`.
// `holidayTest` is normally Acha_Feriado bound to the business date and the holiday list,
// which ignores the number and tests the day before the business date. Errors it throws pass
// through.
bool loyaltyCampaignDue(const DateTime& businessDate, const std::function<bool(int)>& holidayTest);

}  // namespace velocast
