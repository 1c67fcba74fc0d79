#pragma once
// velocast.conf's [unsubscribe] section, handed to the sender: the opt-out marking and the scope of each row.
#include <QStringList>
#include <functional>

#include "outbox/sending/unsubscribe_marking.h"

namespace velocast {

struct Settings;
struct OutboxRow;
class StateDatabase;

// What the sender adds to each row's message: the opt-out header and footer of the marketing
// campaigns. `campaignOf` names a row's campaign from its subject. Without a state database
// (the key lives there) the messages carry the footer but no header: a link made under a key
// that is gone when the run ends could never be honoured. A key that cannot be read or made is
// said once as a warning line.
std::function<void(const OutboxRow&, mail::MessageFields&)> unsubscribeAmendment(
    const Settings& settings, StateDatabase* state, std::function<QString(const QString& subject)> campaignOf);

// The suppression scope of a row: "marketing" for a campaign of [unsubscribe] campaigns (an
// address that opted out gets none of them), empty for the service mail.
std::function<QString(const OutboxRow&)> suppressionScopeOfRows(
    const Settings& settings, std::function<QString(const QString& subject)> campaignOf);

}  // namespace velocast
