#include "campaigns/campaign_table.h"

#include "campaigns/aniversariante.h"
#include "campaigns/ausentes.h"
#include "campaigns/avaliacao.h"
#include "campaigns/fidelidade.h"
#include "campaigns/inadimplentes.h"
#include "campaigns/planos_a_vencer.h"
#include "campaigns/tracamento_prazo.h"

namespace velocast {

std::vector<CampaignStep> campaignTable() {
    std::vector<CampaignStep> steps;
    // Order matters: evaluations (medical, functional), birthdays, plans to renew, lock
    // deadlines, loyalty, overdue payments, absentees.
    steps.push_back(std::make_unique<Avaliacao>(medicalEvaluation()));
    steps.push_back(std::make_unique<Avaliacao>(functionalEvaluation()));
    steps.push_back(std::make_unique<Aniversariante>());
    steps.push_back(std::make_unique<PlanosAVencer>());
    steps.push_back(std::make_unique<TracamentoPrazo>());
    steps.push_back(std::make_unique<Fidelidade>());
    steps.push_back(std::make_unique<Inadimplentes>());
    steps.push_back(std::make_unique<Ausentes>());
    return steps;
}

}  // namespace velocast
