#include "outbox/sending/unsubscribe_setup.h"

#include "mail/unsubscribe/unsubscribe_token.h"

#include <stdexcept>

#include "outbox/outbox.h"
#include "settings/settings.h"
#include "outbox/sending/sending_setup.h"
#include "state/state_database.h"
#include "state/unsubscribe_secret.h"

namespace velocast {

std::function<void(const OutboxRow&, mail::MessageFields&)> unsubscribeAmendment(
    const Settings& settings, StateDatabase* state, std::function<QString(const QString& subject)> campaignOf) {
    const UnsubscribeSettings& wanted = settings.unsubscribe;
    QByteArray secret;
    if (wanted.enabled && state && state->isOpen()) {
        try {
            secret = unsubscribeSecret(*state);
        } catch (const std::exception& e) {
            warnHistory(QString::fromUtf8(e.what()) + QStringLiteral("; the messages go without the opt-out header"));
        }
    }
    return [marking = UnsubscribeMarking(wanted, secret), campaignOf = std::move(campaignOf)](
               const OutboxRow& row, mail::MessageFields& fields) {
        marking.mark(fields, campaignOf ? campaignOf(row.subject) : QString());
    };
}

std::function<QString(const OutboxRow&)> suppressionScopeOfRows(
    const Settings& settings, std::function<QString(const QString& subject)> campaignOf) {
    return [marking = UnsubscribeMarking(settings.unsubscribe, QByteArray()),
            campaignOf = std::move(campaignOf)](const OutboxRow& row) {
        return marking.isMarketing(campaignOf ? campaignOf(row.subject) : QString())
                   ? QString::fromLatin1(mail::kMarketingScope)
                   : QString();
    };
}

}  // namespace velocast
