#include "campaigns/daily_run.h"

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

QString DailyRun::missingForTheRun() const {
    if (session_.TBLCONTROLE2.eof())
        return QStringLiteral(
            "Controle2\nthe settings table Qzcvar2 has no row, so no campaign can run and no e-mail "
            "can be sent: the club's system writes it (velocast --check tells what else is missing)");
    if (session_.businessDate().isZero())
        return QStringLiteral(
            "Caixa\nno cash-register session (table Caixa has no opening date), so there is no "
            "business date and no campaign runs: open the cash register in the club's system");
    return QString();
}

DailyRun::Result DailyRun::FormCreate() {
    Result result;
    const bool opened = session_.ABRE_TABELAS();
    sessionOpened_ = opened;
    result.sessionOpened = opened;
    if (!opened) notices_.endingNotice(kContateSuporte, QStringLiteral("Problema na Rede ou não está Ativa !"));

    // Without a settings row or a cash-register session there is nothing to run: no switch,
    // no account, no business date. Running on would latch the campaigns for 30/12/1899 and
    // end as if all went well; a person must open the cash register or restore the settings.
    const QString missing = opened ? missingForTheRun() : QString();
    if (!missing.isEmpty()) {
        notices_.endingNotice(kContateSuporte, missing);
        result.nothingToRun = true;
    }

    // A campaign on a half-opened session, or on the zero date, can only do harm.
    if (opened && missing.isEmpty()) {
        // A campaign's own due rule (the loyalty days, the month's end) is asked inside
        // runCampaign, only once its switch is on.
        int index = 0;
        for (CampaignStep& campaign : campaigns) {
            ++index;
            if (!switchIsOn(campaign->columns().switchColumn)) continue;
            int rows = 0;
            const bool finished = runCampaign(*campaign, session_, notices_, &rows);
            if (campaignDone)
                campaignDone(
                    {campaign->columns().controlFlag, rows, finished, index, static_cast<int>(campaigns.size())});
            if (!finished) ++result.campaignsFailed;
        }
    }
    return result;
}

}  // namespace velocast
