#pragma once
// What the program does once at every start: open the session, run each campaign whose
// switch is on, then start sending.
#include <QTimer>
#include <functional>
#include <vector>

#include "campaigns/campaign_table.h"
#include "outbox/sending/send_counters.h"

namespace velocast {

class Notices;
class Session;

// "Sim", exactly, turns a campaign on; anything else (or no settings row) is off.
bool campaignSwitchIsOn(const Session& session, const QString& column);

class DailyRun {
public:
    struct Hooks {
        std::function<void()> registerIcon;  // window mode only
        std::function<void()> endRequest;    // ask the program to end once the loop runs
    };

    DailyRun(Session& session, Notices& notices, QTimer& timer2, SendCounters& counters, Hooks hooks);

    // The create event of the main window. An error that escapes the session opening or the
    // holiday test ends the run there and is passed on for the default error report.
    void FormCreate();

    // The campaigns it calls; tests replace them.
    std::vector<CampaignStep> campaigns = campaignTable();

    // Told after each campaign whose switch is on: its flag name (e.g. "ANIVERSARIANTE"), the
    // outbox rows it committed, whether it finished, and how far the run is (1-based, of all).
    struct CampaignDone {
        QString campaign;
        int rowsWritten = 0;
        bool finished = true;
        int index = 0, total = 0;
    };
    std::function<void(const CampaignDone&)> campaignDone;

    // Whether the last FormCreate opened the session (and so ran the campaigns due).
    bool sessionOpened() const { return sessionOpened_; }

    bool switchIsOn(const QString& column) const { return campaignSwitchIsOn(session_, column); }

private:
    // The detail of the notice when the opened session has nothing to run on (no settings
    // row, no business date); empty when the campaigns may run.
    QString missingForTheRun() const;

    Session& session_;
    Notices& notices_;
    QTimer& timer2_;
    SendCounters& counters_;
    Hooks hooks_;
    bool sessionOpened_ = false;
};

}  // namespace velocast
