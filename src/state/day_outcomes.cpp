#include "state/day_outcomes.h"

#include <QHash>
#include <algorithm>

#include "state/business_days.h"
#include "state/send_history.h"
#include "state/state_database.h"

namespace velocast {

bool readDayOutcomes(const StateDatabase& state, const QDate& date, DayOutcomes* day, QString* error) {
    return readDayOutcomes(state, date, date.startOfDay(), date.addDays(1).startOfDay(), day, error);
}

bool readBusinessDayOutcomes(const StateDatabase& state, const QDate& date, DayOutcomes* day, QString* error) {
    const DayWindow window = businessDayWindow(state, date);
    return readDayOutcomes(state, date, window.from, window.to, day, error);
}

bool readDayOutcomes(const StateDatabase& state, const QDate& date, const QDateTime& from, const QDateTime& to,
                     DayOutcomes* day, QString* error) {
    *day = DayOutcomes{date, {}, {}};
    // Through the history's own reader: the table keeps its texts in a compact form.
    QList<HistoryEntry> entries;
    HistoryFilter filter;
    filter.since = from;
    if (!SendHistory(const_cast<StateDatabase&>(state))
             .read(
                 filter,
                 [&](const HistoryEntry& e) {
                     if (!to.isValid() || e.at < to) entries.append(e);
                 },
                 error))
        return false;
    // The reader gives the newest first; the day is told oldest first.
    std::stable_sort(entries.begin(), entries.end(),
                     [](const HistoryEntry& a, const HistoryEntry& b) { return a.at < b.at; });
    QHash<QString, qsizetype> campaignIndex;
    auto counts = [&](const QString& campaign) -> CampaignOutcomes& {
        auto it = campaignIndex.find(campaign);
        if (it == campaignIndex.end()) {
            it = campaignIndex.insert(campaign, day->campaigns.size());
            day->campaigns.append(CampaignOutcomes{campaign, std::nullopt});
        }
        return day->campaigns[*it];
    };
    // A row is deferred, perhaps several times, before it goes or is given up: only the last
    // word of the day on each row counts. A row is its address and subject, as for retries.
    struct Last {
        QString campaign;
        bool deferred = false;
    };
    QHash<QString, Last> rows;
    QStringList rowOrder;
    for (const HistoryEntry& e : entries) {
        const QDateTime& at = e.at;
        const QString outcome = sendOutcomeName(e.outcome);
        const QString& address = e.address;
        const QString& campaign = e.campaign;
        const QString& reply = e.reply;
        if (outcome == QLatin1String(kOutcomeBounced) || outcome == QLatin1String(kOutcomeOptedOut)) {
            CampaignOutcomes& c = counts(campaign);
            (outcome == QLatin1String(kOutcomeBounced) ? c.bounced : c.optedOut)++;
            day->addresses.append(AddressOutcome{at, outcome, address, campaign, reply});
            continue;
        }
        CampaignOutcomes& c = counts(campaign);
        const QString row = address.trimmed().toLower() + QChar(u'\n') + e.subject;
        if (!rows.contains(row)) rowOrder.append(row);
        rows[row] = Last{campaign, outcome == sendOutcomeName(SendOutcome::Deferred)};
        if (outcome == sendOutcomeName(SendOutcome::Sent)) ++c.sent;
        else if (outcome == sendOutcomeName(SendOutcome::GivenUp)) ++c.givenUp;
        else if (outcome == sendOutcomeName(SendOutcome::Invalid) || outcome == sendOutcomeName(SendOutcome::Refused))
            ++c.invalid;
        else if (outcome == QLatin1String(kOutcomeSuppressed)) ++c.suppressed;
    }
    for (const QString& row : rowOrder)
        if (rows[row].deferred) ++counts(rows[row].campaign).deferred;
    return true;
}

}  // namespace velocast
