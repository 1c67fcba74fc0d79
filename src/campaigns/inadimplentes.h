#pragma once
// Overdue payment notices: members whose due day is the business date's day and who have no
// payment for the business month. Before selecting, the end month of every open membership
// period in ENTRADASAIDA is set to the business month; that update is committed with the
// notices or undone with them.
#include <QVariantMap>

#include "campaigns/campaign.h"

namespace velocast {

class Inadimplentes : public Campaign {
public:
    const CampaignColumns& columns() const override;
    void fill(CampaignRun& run) override;

    // Members by modality (MENSALIDADES) first, then by plan (PLANOS).
    enum class Pass { Modality, Plan };

    static SqlText hostUpdate(const DateTime& businessDate);
    static SqlText selection(Pass pass);
    // The seven values the selection binds, all from the business date.
    static QVariantMap parameters(Dialect dialect, const DateTime& businessDate);

    static const QString kHostUpdateDetail;  // the update of ENTRADASAIDA failed

private:
    Dataset QRYRELATINADIMP{QStringLiteral("QRYRELATINADIMP")};
};

}  // namespace velocast
