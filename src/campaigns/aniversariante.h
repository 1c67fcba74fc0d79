#pragma once
// Birthday greetings: active members whose day and month of birth are the business date's.
#include "campaigns/campaign.h"

namespace velocast {

class Aniversariante : public Campaign {
public:
    const CampaignColumns& columns() const override;
    void fill(CampaignRun& run) override;

    static SqlText selection(const DateTime& businessDate);

private:
    Dataset TBLALUNOSATIVOEMIALSEEK{QStringLiteral("TBLALUNOSATIVOEMIALSEEK")};
};

}  // namespace velocast
