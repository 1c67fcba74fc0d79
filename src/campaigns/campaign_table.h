#pragma once
// The campaigns in the order the daily run calls them, each with its on/off switch in
// Qzcvar2. A campaign takes its place here when it is built.
#include <QString>
#include <memory>
#include <vector>

#include "campaigns/campaign.h"

namespace velocast {

struct CampaignStep {
    QString switchColumn;
    std::unique_ptr<Campaign> campaign;
    bool onLoyaltyDaysOnly = false;
};

std::vector<CampaignStep> campaignTable();

}  // namespace velocast
