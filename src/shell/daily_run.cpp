#include "shell/daily_run.h"

#include "calendar/holidays.h"
#include "calendar/loyalty_day.h"
#include "data/db_error.h"
#include "data/notices.h"
#include "data/session.h"

namespace velocast {

DailyRun::DailyRun(Session& session, Notices& notices, QTimer& timer2, SendCounters& counters, Hooks hooks)
    : session_(session), notices_(notices), timer2_(timer2), counters_(counters), hooks_(std::move(hooks)) {}

bool DailyRun::switchIsOn(const QString& column) const {
    const Dataset& settings = session_.TBLCONTROLE2;
    if (!settings.isOpen() || settings.eof()) return false;
    try {
        return settings.text(column) == QLatin1String("Sim");
    } catch (const DbError&) {
        return false;
    }
}

bool DailyRun::loyaltyDue() const {
    const DateTime& date = session_.businessDate();
    return loyaltyCampaignDue(date, [&](int dayNumber) {
        const Dataset& control = session_.TBLCONTROLE;
        const QString holidays = control.isOpen() && !control.eof() ? control.text(QStringLiteral("FERIADOS")) : QString();
        return Acha_Feriado(dayNumber, date, holidays);
    });
}

void DailyRun::FormCreate() {
    if (hooks_.registerIcon) hooks_.registerIcon();

    const bool opened = session_.ABRE_TABELAS();
    if (!opened) {
        notices_.MOSTRA_AVISO(QStringLiteral("!"), kContateSuporte, QStringLiteral("Problema na Rede ou não está Ativa !"));
        if (hooks_.endRequest) hooks_.endRequest();
    }

    // A campaign on a half-opened session, or on the zero date, can only do harm.
    if (opened) {
        for (CampaignStep& step : campaigns) {
            if (!switchIsOn(step.switchColumn)) continue;
            if (step.onLoyaltyDaysOnly && !loyaltyDue()) continue;
            if (!runCampaign(*step.campaign, session_, notices_) && hooks_.endRequest) hooks_.endRequest();
        }
    }

    timer2_.setInterval(5000);
    timer2_.start();
    counters_ = SendCounters{};
}

}  // namespace velocast
