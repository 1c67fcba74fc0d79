#pragma once
// The campaigns in the order the daily run calls them; each carries its own switch (its
// columns) and its own due rule. A campaign takes its place here when it is built.
#include <memory>
#include <vector>

#include "campaigns/campaign.h"

namespace velocast {

using CampaignStep = std::unique_ptr<Campaign>;

std::vector<CampaignStep> campaignTable();

}  // namespace velocast
