#include "campaigns/campaign_preview.h"

#include "campaigns/campaign.h"
#include "data/db_error.h"
#include "data/session.h"
#include "outbox/outbox.h"

namespace velocast {

PreviewOutcome previewCampaign(Campaign& campaign, Session& session,
                               const std::function<void(const PreviewRow&)>& sink) {
    if (!campaign.isDue(session)) return PreviewOutcome::NotDue;
    SharedConnection& connection = session.connection();
    connection.beginTransaction();
    try {
        if (campaignAlreadyRan(session, campaign.columns())) {
            connection.rollback();
            return PreviewOutcome::AlreadyRan;
        }
        CampaignRun run(session, campaign.columns());
        run.observeRows([&](const Dataset& selection, const OutboxRow& row) {
            const QString member = selection.hasColumn(QStringLiteral("MATRICULA"))
                                       ? selection.text(QStringLiteral("MATRICULA")).trimmed()
                                       : QString();
            sink({row.email, member, row.subject, row.imagePath});
        });
        campaign.fill(run);
    } catch (...) {
        try {
            if (connection.inTransaction()) connection.rollback();
        } catch (const DbError&) {}
        throw;
    }
    connection.rollback();
    return PreviewOutcome::Listed;
}

}  // namespace velocast
