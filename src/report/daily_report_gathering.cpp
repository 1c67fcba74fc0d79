#include "report/daily_report_gathering.h"

#include <algorithm>

#include "state/day_outcomes.h"
#include "state/report_notes.h"

namespace velocast {

bool gatherDailyReport(const StateDatabase& state, const QDate& businessDate, const MemberLookup& memberOf,
                       DailyReportInput* input, QString* error) {
    *input = DailyReportInput{};
    if (!readBusinessDayOutcomes(state, businessDate, &input->day, error)) return false;
    // The rows each campaign wrote, also for a campaign none of whose rows was tried yet.
    const QHash<QString, int> written = rowsWritten(state, businessDate);
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        auto c = std::find_if(input->day.campaigns.begin(), input->day.campaigns.end(),
                              [&](const CampaignOutcomes& o) { return o.campaign == it.key(); });
        if (c == input->day.campaigns.end()) {
            input->day.campaigns.append(CampaignOutcomes{it.key(), it.value()});
        } else {
            c->written = it.value();
        }
    }
    input->warnings = reportWarnings(state, businessDate);
    input->memberOf = memberOf;
    return true;
}

}  // namespace velocast
