#pragma once
// Absentee reminders: members whose latest visit lies exactly AUSENTES_DIAS days before the
// business date, counted in whole days rounded half to even. The server lists every member's
// latest visit; the program keeps the rows whose count matches.
#include <cstdint>

#include "campaigns/campaign.h"

namespace velocast {

class Ausentes : public Campaign {
public:
    const CampaignColumns& columns() const override;
    void fill(CampaignRun& run) override;

    static SqlText selection();
    // The business date minus the latest visit, in days, rounded to the nearest whole day
    // with a tie going to the even neighbour (6.5 gives 6, 7.5 gives 8).
    static std::int64_t daysAbsent(const DateTime& businessDate, const DateTime& latestVisit);

private:
    Dataset TBLALUNOSAUSENTES{QStringLiteral("TBLALUNOSAUSENTES")};
};

}  // namespace velocast
