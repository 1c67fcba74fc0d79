#include "calendar/loyalty_day.h"

namespace velocast {

bool loyaltyCampaignDue(const DateTime& businessDate, const std::function<bool(int)>& holidayTest) {
    const int day = businessDate.format(QStringLiteral("DD")).toInt();
    switch (day) {
    case 1: return true;
    case 2:
    case 3: return holidayTest(day - 1);
    case 4: return holidayTest(1);
    default: return false;
    }
}

}  // namespace velocast
