#include "shell/daily_run.h"

#include "data/db_error.h"
#include "notices/notices.h"
#include "data/session.h"

namespace velocast {

DailyRun::DailyRun(Session& session, Notices& notices) : session_(session), notices_(notices) {}

bool campaignSwitchIsOn(const Session& session, const QString& column) {
    const Dataset& settings = session.TBLCONTROLE2;
    if (!settings.isOpen() || settings.eof()) return false;
    try {
        return settings.text(column) == QLatin1String("Sim");
    } catch (const DbError&) {
        return false;
    }
}

DailyRun::Result DailyRun::FormCreate() {
    Result result;
    const bool opened = session_.ABRE_TABELAS();
    sessionOpened_ = opened;
    result.sessionOpened = opened;
    if (!opened)
        notices_.MOSTRA_AVISO(QStringLiteral("!"), kContateSuporte, QStringLiteral("Problema na Rede ou não está Ativa !"));

    // A campaign on a half-opened session, or on the zero date, can only do harm.
    if (opened) {
        // A campaign's own due rule (the loyalty days, the month's end) is asked inside
        // runCampaign, only once its switch is on.
        int index = 0;
        for (CampaignStep& campaign : campaigns) {
            ++index;
            if (!switchIsOn(campaign->columns().switchColumn)) continue;
            int rows = 0;
            const bool finished = runCampaign(*campaign, session_, notices_, &rows);
            if (campaignDone)
                campaignDone({campaign->columns().controlFlag, rows, finished, index, static_cast<int>(campaigns.size())});
            if (!finished) ++result.campaignsFailed;
        }
    }
    return result;
}

}  // namespace velocast
