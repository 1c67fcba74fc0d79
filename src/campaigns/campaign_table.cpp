#include "campaigns/campaign_table.h"

#include "campaigns/aniversariante.h"
#include "campaigns/ausentes.h"
#include "campaigns/fidelidade.h"
#include "campaigns/inadimplentes.h"

namespace velocast {

std::vector<CampaignStep> campaignTable() {
    std::vector<CampaignStep> steps;
    // Order matters: evaluations (medical, functional), birthdays, plans to renew, lock
    // deadlines, loyalty, overdue payments, absentees. Only built campaigns stand here.
    steps.push_back(std::make_unique<Aniversariante>());
    steps.push_back(std::make_unique<Fidelidade>());
    steps.push_back(std::make_unique<Inadimplentes>());
    steps.push_back(std::make_unique<Ausentes>());
    return steps;
}

}  // namespace velocast
