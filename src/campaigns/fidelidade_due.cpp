#include "campaigns/fidelidade_due.h"

#include "calendar/holidays.h"
#include "calendar/loyalty_day.h"
#include "data/session.h"

namespace velocast {

bool loyaltyDayDue(const Session& session) {
    const DateTime& date = session.businessDate();
    return loyaltyCampaignDue(date, [&](int dayNumber) {
        const Dataset& control = session.TBLCONTROLE;
        const QString holidays =
            control.isOpen() && !control.eof() ? control.text(QStringLiteral("FERIADOS")) : QString();
        return Acha_Feriado(dayNumber, date, holidays);
    });
}

}  // namespace velocast
