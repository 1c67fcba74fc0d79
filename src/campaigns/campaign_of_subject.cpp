#include "campaigns/campaign_of_subject.h"

#include "campaigns/campaign_columns.h"
#include "data/dataset.h"
#include "data/db_error.h"
#include "data/host_schema.h"

namespace velocast {

QString campaignOfSubject(const Dataset& settings, const QString& subject) {
    if (!settings.isOpen() || settings.eof()) return {};
    const int width = columnWidth(QStringLiteral("Velocast"), QStringLiteral("Assunto"));
    QString found;
    for (const CampaignColumns& columns : allCampaignColumns()) {
        QString own;
        try {
            own = settings.text(columns.subjectColumn);
        } catch (const DbError&) {
            continue;
        }
        if (width > 0) own = own.left(width);
        if (own != subject) continue;
        // Two campaigns with one subject: the row does not say which it was.
        if (!found.isEmpty()) return {};
        found = columns.controlFlag;
    }
    return found;
}

}  // namespace velocast
