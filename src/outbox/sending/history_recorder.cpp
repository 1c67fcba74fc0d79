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

void HistoryRecorder::record(SendOutcome outcome, const OutboxRow& row, const QString& reply,
                             const QString& messageId) {
    if (!history_) return;
    try {
        const QString campaign = campaignOf ? campaignOf(row.subject) : QString();
        history_->record(
            {localNow(), outcome, mail::trimControlCharacters(row.email), row.subject, campaign, messageId, reply});
        failing_ = false;
    } catch (const std::exception& e) {
        if (failing_) return;
        failing_ = true;
        if (warn)
            warn(QStringLiteral("%1; the e-mails still go out, but their outcomes are not kept until it can be written")
                     .arg(QString::fromUtf8(e.what())));
    }
}

}  // namespace velocast
