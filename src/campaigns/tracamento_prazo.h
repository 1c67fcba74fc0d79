#pragma once
// Lock deadline reminders: locked members whose lock ends exactly TRANCAMENTO_DIAS days
// after the business date. The server adds up each deadline; the program picks the rows.
#include "campaigns/campaign.h"

namespace velocast {

class TracamentoPrazo : public Campaign {
public:
    const CampaignColumns& columns() const override;
    void fill(CampaignRun& run) override;

    static SqlText selection();
    // Whether a member whose deadline is `limit` (the LIMTITE column) is warned on
    // `businessDate`, `daysBefore` days ahead: limit minus those days is the business date,
    // time of day included. A NULL deadline is never due.
    static bool warnsOn(const QVariant& limit, const QVariant& daysBefore, const DateTime& businessDate);

private:
    Dataset TBLALUNOSTRANCADOSEMIALSEEK{QStringLiteral("TBLALUNOSTRANCADOSEMIALSEEK")};
};

}  // namespace velocast
