#include "campaigns/campaign_table.h"

#include "campaigns/aniversariante.h"

namespace velocast {

std::vector<CampaignStep> campaignTable() {
    std::vector<CampaignStep> steps;
    // Order matters: evaluations (medical, functional), birthdays, plans to renew, lock
    // deadlines, loyalty, overdue payments, absentees. Only built campaigns stand here.
    steps.push_back(std::make_unique<Aniversariante>());
    return steps;
}

}  // namespace velocast
