#pragma once
// The club's daily report: what became of the day's e-mails, per campaign, which members'
// addresses bounced or opted out (for the reception to fix the record or the consent), and the
// warnings only a person can act on; as Portuguese text for the e-mail's body and the
// terminal, and as CSV rows for the spreadsheet attached to it.
#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "state/day_outcomes.h"

namespace velocast {

// A member as the club's tables know them, to find the record behind an address.
struct MemberReference {
    QString name;
    QString number;
};

struct DailyReportInput {
    DayOutcomes day;
    // Lines that need a person (a refused sign-in, a mailbox that cannot be read, a pacing
    // limit reached, a throttling provider), each already one sentence.
    QStringList warnings;
    // The member behind an address; unset or nothing: the address alone is shown.
    std::function<std::optional<MemberReference>(const QString& address)> memberOf;
};

struct DailyReport {
    QString subject;
    QString text;          // lines separated by "\n"
    QStringList csvLines;  // the header line first
};

DailyReport composeDailyReport(const DailyReportInput& input);

}  // namespace velocast
