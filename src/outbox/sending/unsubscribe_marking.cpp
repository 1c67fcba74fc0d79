#include "outbox/sending/unsubscribe_marking.h"

#include "mail/mime/recipient_parser.h"
#include "mail/unsubscribe/unsubscribe_token.h"

namespace velocast {

bool UnsubscribeMarking::isMarketing(const QString& campaign) const {
    return !campaign.isEmpty() && settings_.campaigns.contains(campaign.trimmed(), Qt::CaseInsensitive);
}

void UnsubscribeMarking::mark(mail::MessageFields& fields, const QString& campaign) const {
    if (!isMarketing(campaign)) return;
    if (!settings_.footer.trimmed().isEmpty()) {
        // The footer is a paragraph of its own after the club's text, whatever line breaks
        // that text ends with.
        QString body = fields.body;
        while (body.endsWith(u'\n') || body.endsWith(u'\r')) body.chop(1);
        fields.body = body.isEmpty() ? settings_.footer : body + QStringLiteral("\r\n\r\n") + settings_.footer;
    }
    if (!settings_.enabled || secret_.isEmpty()) return;
    const QStringList recipients = mail::parseRecipients(fields.recipients);
    const QString mailbox = fields.senderAddress.trimmed();
    if (recipients.isEmpty() || mailbox.isEmpty()) return;
    fields.extraHeaders.append(
        {"List-Unsubscribe",
         mail::listUnsubscribeValue(mailbox, mail::unsubscribeRequestSubject(secret_, recipients.first()))});
}

}  // namespace velocast
