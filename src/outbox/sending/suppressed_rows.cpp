#include "outbox/sending/suppressed_rows.h"

#include "mail/mime/address_check.h"
#include "notices/log_line.h"
#include "notices/notices.h"
#include "outbox/sending/history_recorder.h"
#include "state/suppression_list.h"

namespace velocast {

bool rowSuppressed(const OutboxRow& row, StateDatabase& state, HistoryRecorder& history,
                   const std::function<void(const QString&)>& warn, const QString& scope) {
    const QString address = mail::trimControlCharacters(row.email);
    if (address.isEmpty()) return false;
    const std::optional<Suppression> entry = SuppressionList(state).find(address, scope.isEmpty() ? kScopeAll : scope);
    if (!entry) return false;
    history.record(SendOutcome::Suppressed, row, entry->reason);
    const QString text = QStringLiteral("suppressed address, outbox row removed: address=\"%1\" reason=\"%2\"")
                             .arg(StderrNotices::escape(address), StderrNotices::escape(entry->reason));
    if (warn) warn(text);
    else writeLogLine(LogPriority::Warning, QStringLiteral("velocast: warning: ") + text);
    return true;
}

}  // namespace velocast
