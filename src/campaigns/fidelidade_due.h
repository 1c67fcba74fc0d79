#pragma once
// The loyalty campaign's due rule as the session sees it: the business date's day of month
// and, on the 2nd to the 4th, whether the day before is in the holiday list of Qzcvar.
#include "calendar/date_time.h"

namespace velocast {

class Session;

// Errors of the holiday test pass through: the daily run ends there.
bool loyaltyDayDue(const Session& session);

}  // namespace velocast
