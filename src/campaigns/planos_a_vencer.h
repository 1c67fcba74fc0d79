#pragma once
// Plan renewal reminders: at the month's end (from the 26th), the active members with a
// receipt for the business date's month and none yet for the next month.
#include "campaigns/campaign.h"

namespace velocast {

class PlanosAVencer : public Campaign {
public:
    const CampaignColumns& columns() const override;
    // Days 1 to 25: nothing at all, not even the control row, so the 26th still runs.
    bool isDue(const Session& session) const override;
    void fill(CampaignRun& run) override;

    static bool dueOn(const DateTime& businessDate);
    static SqlText selection();
    // JMES, JANO, JPROXIMOMES, JPROXIMOANO as the texts "MM", "YYYY" of this and next month.
    static QVariantMap parameters(const DateTime& businessDate);

    // The columns the query declares: a result without one of them is an error.
    static const QStringList& declaredColumns();

private:
    Dataset QRYPLANOSAVENCER{QStringLiteral("QRYPLANOSAVENCER")};
};

}  // namespace velocast
