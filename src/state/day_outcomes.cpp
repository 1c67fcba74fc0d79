#include "state/day_outcomes.h"

#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

#include "state/send_history.h"
#include "state/state_database.h"

namespace velocast {

bool readDayOutcomes(const StateDatabase& state, const QDate& date, DayOutcomes* day, QString* error) {
    *day = DayOutcomes{date, {}, {}};
    QSqlQuery q(state.database());
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT at, outcome, address, subject, campaign, reply FROM send_history "
                       "WHERE at >= ? AND at < ? ORDER BY at, id"));
    q.addBindValue(date.startOfDay().toSecsSinceEpoch());
    q.addBindValue(date.addDays(1).startOfDay().toSecsSinceEpoch());
    if (!q.exec()) {
        *error = QStringLiteral(
                     "the send history in %1 cannot be read (%2); check the file's permissions, or set "
                     "[state] database in velocast.conf")
                     .arg(state.path(), q.lastError().text());
        return false;
    }
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
    while (q.next()) {
        const QDateTime at = QDateTime::fromSecsSinceEpoch(q.value(0).toLongLong());
        const QString outcome = q.value(1).toString();
        const QString address = q.value(2).toString();
        const QString campaign = q.value(4).toString();
        const QString reply = q.value(5).toString();
        if (outcome == QLatin1String(kOutcomeBounced) || outcome == QLatin1String(kOutcomeOptedOut)) {
            CampaignOutcomes& c = counts(campaign);
            (outcome == QLatin1String(kOutcomeBounced) ? c.bounced : c.optedOut)++;
            day->addresses.append(AddressOutcome{at, outcome, address, campaign, reply});
            continue;
        }
        CampaignOutcomes& c = counts(campaign);
        const QString row = address.trimmed().toLower() + QChar(u'\n') + q.value(3).toString();
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
