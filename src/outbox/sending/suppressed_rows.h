#pragma once
// The drain's look at the suppression list before a row goes: a row whose address is
// suppressed is never sent. Its outcome is written here (a `suppressed` history entry and one
// warning line naming the address and the reason); the drain then removes the row, counted
// invalid, like a row whose address cannot be used.
#include <QString>
#include <functional>

#include "outbox/outbox.h"

namespace velocast {

class HistoryRecorder;
class StateDatabase;

// True when `row` must not go: its address is suppressed for every e-mail, or for `scope`
// (the group of campaigns the row belongs to, e.g. "marketing"; empty: only "all" counts).
// `warn` takes the warning line's text after "velocast: warning: "; unset, the line goes to
// standard error. A suppression list that cannot be read lets the row go.
bool rowSuppressed(const OutboxRow& row, StateDatabase& state, HistoryRecorder& history,
                   const std::function<void(const QString&)>& warn = {}, const QString& scope = QString());

}  // namespace velocast
