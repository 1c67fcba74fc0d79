#include "outbox/sending/history_recorder.h"

#include <exception>

#include "calendar/clock.h"
#include "mail/mime/address_check.h"
#include "state/state_database.h"

namespace velocast {

HistoryRecorder::HistoryRecorder() = default;
HistoryRecorder::~HistoryRecorder() = default;

void HistoryRecorder::setStateDatabase(StateDatabase* state) {
    history_ = state ? std::make_unique<SendHistory>(*state) : nullptr;
    failing_ = false;
}

HistoryEntry HistoryRecorder::entryFor(SendOutcome outcome, const OutboxRow& row, const QString& reply,
                                       const QString& messageId) const {
    const QString campaign = campaignOf ? campaignOf(row.subject) : QString();
    return {
        localNow(),         outcome, mail::trimControlCharacters(row.email), row.subject, campaign, messageId, reply,
        row.id.toLongLong()};
}

void HistoryRecorder::record(SendOutcome outcome, const OutboxRow& row, const QString& reply,
                             const QString& messageId) {
    if (!history_) return;
    writing([&] { history_->record(entryFor(outcome, row, reply, messageId)); });
}

void HistoryRecorder::recordAll(SendOutcome outcome, const QList<OutboxRow>& rows) {
    if (!history_ || rows.isEmpty()) return;
    writing([&] {
        QList<HistoryEntry> entries;
        entries.reserve(rows.size());
        for (const OutboxRow& row : rows) entries.append(entryFor(outcome, row, QString(), QString()));
        history_->recordAll(entries);
    });
}

void HistoryRecorder::writing(const std::function<void()>& write) {
    try {
        write();
        failing_ = false;
    } catch (const std::exception& e) {
        if (failing_) return;
        failing_ = true;
        if (warn)
            warn(QStringLiteral("%1; the e-mails still go out, but their outcomes are not kept until it can be written")
                     .arg(QString::fromUtf8(e.what())));
        return;
    }
    if (recorded) recorded();
}

}  // namespace velocast
