#pragma once
// What a campaign would write today, without writing it: the campaign runs as it would, inside
// a transaction that is always rolled back, so the outbox, the day's latch, the run table and
// the host tables a campaign updates are left as they were.
#include <QString>
#include <functional>

namespace velocast {

class Campaign;
class Session;

struct PreviewRow {
    QString address;
    QString member;  // MATRICULA, where the campaign's selection has it
    QString subject;
    QString imagePath;
};

enum class PreviewOutcome {
    NotDue,      // the campaign's own day rule declines the business date
    AlreadyRan,  // its flag is set for the business date: the next run writes nothing
    Listed,      // every row it would write was passed to the sink
};

// Throws what the campaign throws (after the rollback).
PreviewOutcome previewCampaign(Campaign& campaign, Session& session,
                               const std::function<void(const PreviewRow&)>& sink);

}  // namespace velocast
