#pragma once
// What a delivery report from the club's mailbox does: when it is about a message the send
// history recorded, one `bounced` history entry per recipient, and the address suppressed when
// the report says it is gone (or after enough soft bounces); a policy refusal is the club's
// sending problem and never suppresses a member. A report about any other message changes
// nothing and is left where it is.
#include <QDateTime>
#include <QStringList>

#include "mail/mime/delivery_report.h"

namespace velocast {

class StateDatabase;

struct BounceSettings {
    int softBounces = 3;  // soft bounces within softBounceDays that suppress an address
    int softBounceDays = 30;
};

struct BounceOutcome {
    // The report is about a message of ours and was recorded: the caller may move it away.
    bool ours = false;
    // One line for the log per effect (or why nothing happened).
    QStringList effects;
};

// Records everything in one transaction of the state database, or nothing: a write that fails
// throws std::runtime_error naming the file, and the report must stay where it is to be read
// again. Reading the same report again records nothing twice.
BounceOutcome processDeliveryReport(const mail::DeliveryReport& report, StateDatabase& state,
                                    const BounceSettings& settings, const QDateTime& now);

}  // namespace velocast
