// A message of the program's own (the club's daily report) at the end of a drain: on the
// drain's session and account, under its pacing, counted as one message sent.
#include "calendar/clock.h"
#include "mail/oauth/token_error.h"
#include "mail/mime/message_composer.h"
#include "outbox/sending/pacing.h"
#include "outbox/sending/outbox_sender.h"
#include "outbox/sending/smtp_account.h"

namespace velocast {

void OutboxSender::sendOwnMessage(int rowsLeft) {
    if (!ownMessage) return;
    const QDateTime now = localNow();
    if (ownMessageNotBefore_.isValid() && now < ownMessageNotBefore_) return;
    const std::optional<OwnMessage> own = ownMessage(std::max(0, rowsLeft));
    if (!own) return;
    mail::ComposedMessage composed;
    const QString why = trySending(*own, &composed);
    if (why.isEmpty()) {
        ownMessageFailures_ = 0;
        ownMessageNotBefore_ = QDateTime();
        ++counters_.sent;
        show(Figure::Sent, counters_.sent);
        keepingState([&] { state_->recordSent(localNow()); });
        smtpSession_.messageSent(pacing_.messagesPerConnection);
        if (ownMessageSent) ownMessageSent(composed);
        return;
    }
    ownMessageNotBefore_ = nextTryAfter(++ownMessageFailures_, now);
    if (ownMessageKept) ownMessageKept(why);
}

QString OutboxSender::trySending(const OwnMessage& own, mail::ComposedMessage* composed) {
    try {
        const SmtpAccount& account = this->account();
        if (!smtpSession_.configure(account, accountVersion_))
            return QStringLiteral("no port can be read after the \"*\" of Qzcvar2.%1")
                .arg(settingColumn(mail::SmtpSetting::Server));
        if (const auto wait = pacingPause(*state_, pacingLimitsFor(pacing_, IdSMTP.host()), localNow()))
            return QStringLiteral("the pacing limit of %1 was reached").arg(wait->reason);
        mail::MessageFields fields = messageFromAccount(account, own.recipients, own.subject, own.body);
        fields.attachedData = own.attachment;
        *composed = mail::composeMessage(fields, compositionOptions());
        smtpSession_.open(account, accountVersion_, tokens_);
        IdSMTP.send(*composed);
        return {};
    } catch (const mail::SmtpError& e) {
        smtpSession_.end();
        return e.replyCode() ? QStringLiteral("%1 %2").arg(e.replyCode()).arg(e.message()) : e.message();
    } catch (const mail::TokenError& e) {
        IdSMTP.release();
        return e.message();
    } catch (const std::exception& e) {
        smtpSession_.end();
        return QString::fromUtf8(e.what());
    }
}

}  // namespace velocast
