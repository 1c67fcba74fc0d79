#include "outbox/sending/bounce_processing.h"

#include <QSqlDatabase>
#include <stdexcept>

#include "notices/notices.h"
#include "state/send_history.h"
#include "state/state_database.h"
#include "state/suppression_list.h"

namespace velocast {

namespace {

using mail::BounceKind;

QString quoted(const QString& text) { return QLatin1Char('"') + StderrNotices::escape(text) + QLatin1Char('"'); }

// Writes on the state database's connection as one transaction; rolled back by an exception.
class Transaction {
public:
    explicit Transaction(StateDatabase& state) : db_(state.database()), path_(state.path()) {
        if (!db_.transaction())
            throw std::runtime_error(QStringLiteral("the state database %1 cannot be written; check the disk and the "
                                                    "file's permissions, or set [state] database in velocast.conf")
                                         .arg(path_)
                                         .toStdString());
    }
    ~Transaction() {
        if (!committed_) db_.rollback();
    }
    void commit() {
        if (!db_.commit())
            throw std::runtime_error(QStringLiteral("the state database %1 cannot be written; check the disk and the "
                                                    "file's permissions, or set [state] database in velocast.conf")
                                         .arg(path_)
                                         .toStdString());
        committed_ = true;
    }

private:
    QSqlDatabase db_;
    QString path_;
    bool committed_ = false;
};

}  // namespace

BounceOutcome processDeliveryReport(const mail::DeliveryReport& report, StateDatabase& state,
                                    const BounceSettings& settings, const QDateTime& now) {
    BounceOutcome outcome;
    if (report.originalMessageId.isEmpty()) {
        outcome.effects
            << QStringLiteral("delivery report %1 names no message; left in the mailbox").arg(quoted(report.key));
        return outcome;
    }
    // Providers rewrite return paths: only the Message-ID proves the report is about our message.
    SendHistory history(state);
    const std::optional<HistoryEntry> sent = history.sentMessage(report.originalMessageId);
    if (!sent) {
        outcome.effects << QStringLiteral(
                               "delivery report about message %1, not one sent from here; left in the mailbox")
                               .arg(quoted(report.originalMessageId));
        return outcome;
    }

    SuppressionList suppressions(state);
    const QString sentTo = SuppressionList::normalized(sent->address);
    Transaction transaction(state);
    for (const mail::RecipientStatus& r : report.recipients) {
        const QString named = r.finalRecipient.isEmpty() ? r.originalRecipient : r.finalRecipient;
        const QString reply = (r.status + QLatin1Char(' ') + r.diagnosticCode).trimmed();
        const bool failure = r.action == QLatin1String("failed") || r.action == QLatin1String("delayed");
        const BounceKind kind = mail::classifyRecipient(r.action, r.status);
        // A forged or confused report may name anyone: only the address the message went to
        // (as the report's final or original recipient) is ever suppressed.
        const bool toSentAddress = SuppressionList::normalized(r.finalRecipient) == sentTo ||
                                   SuppressionList::normalized(r.originalRecipient) == sentTo;
        const QString subject = toSentAddress ? sent->address : named;
        const QString what = QStringLiteral("address=%1 status=%2 diagnostic=%3")
                                 .arg(quoted(subject), quoted(r.status), quoted(r.diagnosticCode));

        if (!suppressions.recordBounce(report.key + QLatin1Char('\n') + SuppressionList::normalized(named), subject,
                                       mail::bounceKindName(kind), now)) {
            outcome.effects << QStringLiteral("bounce already recorded: %1").arg(what);
            continue;
        }
        if (!failure) {
            outcome.effects
                << QStringLiteral("delivery notice (action %1), nothing to do: %2").arg(quoted(r.action), what);
            continue;
        }
        history.record(
            {now, SendOutcome::Bounced, subject, sent->subject, sent->campaign, report.originalMessageId, reply});
        if (!toSentAddress) {
            outcome.effects << QStringLiteral(
                                   "bounce of an address the message was not sent to (%1), recorded only: %2")
                                   .arg(quoted(sent->address), what);
            continue;
        }
        switch (kind) {
        case BounceKind::Hard:
            suppressions.add({sent->address, kScopeAll, reply, now, QStringLiteral("bounce")});
            outcome.effects << QStringLiteral("hard bounce, address suppressed: %1").arg(what);
            break;
        case BounceKind::Soft: {
            const int count = suppressions.bouncesSince(sent->address, mail::bounceKindName(BounceKind::Soft),
                                                        now.addDays(-settings.softBounceDays));
            if (count >= settings.softBounces) {
                suppressions.add({sent->address, kScopeAll,
                                  QStringLiteral("%1 soft bounces in %2 days, the last: %3")
                                      .arg(count)
                                      .arg(settings.softBounceDays)
                                      .arg(reply),
                                  now, QStringLiteral("bounce")});
                outcome.effects << QStringLiteral("soft bounce %1 of %2 in %3 days, address suppressed: %4")
                                       .arg(count)
                                       .arg(settings.softBounces)
                                       .arg(settings.softBounceDays)
                                       .arg(what);
            } else {
                outcome.effects << QStringLiteral("soft bounce %1 of %2 in %3 days: %4")
                                       .arg(count)
                                       .arg(settings.softBounces)
                                       .arg(settings.softBounceDays)
                                       .arg(what);
            }
            break;
        }
        case BounceKind::Policy:
            outcome.effects << QStringLiteral(
                                   "refused for the club's sending, not the member's address (policy); check the "
                                   "club's mail account and its domain's SPF, DKIM and DMARC: %1")
                                   .arg(what);
            break;
        case BounceKind::Other: outcome.effects << QStringLiteral("bounce recorded: %1").arg(what); break;
        }
    }
    transaction.commit();
    outcome.ours = true;
    return outcome;
}

}  // namespace velocast
