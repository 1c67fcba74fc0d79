#pragma once
// Writes what became of each outbox row into the send history. The history is a record for
// people, not part of delivery: a write that fails costs no message and does not stop the
// drain; it is said once as a warning, and again only after the history worked meanwhile.
#include <QString>
#include <functional>
#include <memory>

#include "outbox/outbox.h"
#include "state/send_history.h"

namespace velocast {

class StateDatabase;

class HistoryRecorder {
public:
    HistoryRecorder();
    ~HistoryRecorder();

    // Where the history is kept; none, nothing is recorded.
    void setStateDatabase(StateDatabase* state);
    bool isRecording() const { return history_ != nullptr; }

    // The campaign whose subject a row carries; empty when it is not known. Unset: none.
    std::function<QString(const QString& subject)> campaignOf;
    // One warning line; unset, failures go unsaid.
    std::function<void(const QString& text)> warn;
    // Called after each entry written (a history window open meanwhile reads it again).
    std::function<void()> recorded;

    void record(SendOutcome outcome, const OutboxRow& row, const QString& reply = QString(),
                const QString& messageId = QString());
    // One entry per row, written together (the outbox emptied from the tray menu).
    void recordAll(SendOutcome outcome, const QList<OutboxRow>& rows);

private:
    HistoryEntry entryFor(SendOutcome outcome, const OutboxRow& row, const QString& reply,
                          const QString& messageId) const;
    void writing(const std::function<void()>& write);

    std::unique_ptr<SendHistory> history_;
    bool failing_ = false;
};

}  // namespace velocast
