#pragma once
// What the program does once at every start: open the session and run each campaign whose
// switch is on. Sending starts once it returns.
#include <functional>
#include <vector>

#include "campaigns/campaign_table.h"

namespace velocast {

class Notices;
class Session;

// "Sim", exactly, turns a campaign on; anything else (or no settings row) is off.
bool campaignSwitchIsOn(const Session& session, const QString& column);

class DailyRun {
public:
    DailyRun(Session& session, Notices& notices);

    struct Result {
        bool sessionOpened = false;  // false: the notice was shown and no campaign ran
        int campaignsFailed = 0;     // each one also told through campaignDone as it ended
        bool nothingToRun = false;   // no settings row or no cash session: the notice was shown
    };
    // The create event of the main window. An error that escapes the session opening or the
    // holiday test ends the run there and is passed on for the default error report.
    Result FormCreate();

    // The campaigns it calls; tests replace them.
    std::vector<CampaignStep> campaigns = campaignTable();

    // Told after each campaign whose switch is on, before the next one begins: its flag name
    // (e.g. "ANIVERSARIANTE"), the outbox rows it committed, whether it finished, and how far
    // the run is (1-based, of all).
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
    bool sessionOpened_ = false;
};

}  // namespace velocast
