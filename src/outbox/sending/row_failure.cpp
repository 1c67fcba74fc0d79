// What a failed exchange does to the row: the decision, and the sender's members that carry
// it out (the row deferred, kept for the server, counted invalid, or the drain stopped).
#include "outbox/sending/row_failure.h"

#include <QRegularExpression>

#include "calendar/clock.h"
#include "data/session.h"
#include "notices/notices.h"
#include "outbox/sending/outbox_sender.h"
#include "outbox/sending/setting_to_fix.h"
#include "outbox/sending/smtp_account.h"

namespace velocast {

using mail::SmtpError;

RowFailure rowFailureOf(const SmtpError& error) {
    const FailureVerdict verdict = classifySmtpFailure(error);
    if (error.stage() == mail::SmtpStage::Connecting) {
        // A refused certificate is no passing outage: it is said as a failed send is, so that
        // a person sees it (the row stays either way).
        if (error.certificateRefused()) return {RowFate::StopDrain, verdict};
        if (verdict.failureClass == FailureClass::Throttled) return {RowFate::Pause, verdict};
        return {RowFate::KeepForServer, verdict};
    }
    switch (verdict.failureClass) {
    case FailureClass::ServerWide: return {RowFate::StopDrain, verdict};
    case FailureClass::Throttled: return {RowFate::Pause, verdict};
    case FailureClass::RecipientForGood: return {RowFate::RemoveAsInvalid, verdict};
    case FailureClass::RecipientForNow:
    case FailureClass::RowContent: return {RowFate::Defer, verdict};
    }
    return {RowFate::StopDrain, verdict};
}

OutboxSender::RowResult OutboxSender::rowFailed(const OutboxRow& row, const QString& address, const SmtpError& error) {
    const bool opening = error.stage() == mail::SmtpStage::Connecting;
    // A refusal is shown with its code; a session that never opened by its own text.
    const QString reply = !opening && error.replyCode()
                              ? QStringLiteral("%1 %2").arg(error.replyCode()).arg(error.message())
                              : error.message();
    const RowFailure failure = rowFailureOf(error);
    switch (failure.fate) {
    case RowFate::StopDrain:
        if (opening) sendFailed(error.message());
        else sendFailed(fullReply(error), settingToFix(error, account(), tokens_ != nullptr));
        return RowResult::SendFailed;
    case RowFate::Pause:
        smtpSession_.end();
        pauseForServer(failure.verdict, reply);
        return RowResult::Paused;
    case RowFate::KeepForServer: {
        // A mode name the client does not know was replaced by required TLS; a server that
        // cannot be reached that way may well need the mode the club meant to write.
        QString setting = settingColumn(error.settingAtFault());
        if (setting.isEmpty() && !tlsModeFromSettingName(account().tlsModeName))
            setting = settingColumn(mail::SmtpSetting::TlsMode);
        keptForServer(row, QStringLiteral("%1:%2").arg(IdSMTP.host()).arg(IdSMTP.port()), error.message(),
                      QStringLiteral("SMTP server"), setting);
        return RowResult::Kept;
    }
    case RowFate::RemoveAsInvalid:
        smtpSession_.end();  // RSET was said already; QUIT ends the session cleanly
        ++counters_.invalid;
        show(Figure::Invalid, counters_.invalid);
        emit recipientRefused(address, reply);
        history.record(SendOutcome::Refused, row, reply);
        return RowResult::Finished;
    case RowFate::Defer: smtpSession_.end(); return defer(row, address, reply, true);
    }
    return RowResult::SendFailed;
}

void OutboxSender::pauseForServer(const FailureVerdict& verdict, const QString& reply) {
    pause(windowEnd(verdict.window, localNow()),
          QStringLiteral("the server %1:%2 throttles: %3").arg(IdSMTP.host()).arg(IdSMTP.port()).arg(reply),
          PauseCause::ServerThrottles);
}

OutboxSender::RowResult OutboxSender::tokenFailed(const OutboxRow& row, const mail::TokenError& error) {
    IdSMTP.release();  // a refused token that could not be renewed leaves the session useless
    if (error.kind() == mail::TokenError::Kind::Unreachable) {
        keptForServer(row, error.endpoint(), error.message(), QStringLiteral("OAuth token endpoint"));
        return RowResult::Kept;
    }
    sendFailed(error.message(), settingToFix(error));
    return RowResult::SendFailed;
}

OutboxSender::RowResult OutboxSender::defer(const OutboxRow& row, const QString& address, const QString& reply,
                                            bool recipient) {
    const QDateTime now = localNow();
    const qint64 id = row.id.toLongLong();
    const QByteArray key = StateDatabase::rowKey(row.email, row.subject);
    RetryState state = state_->retryState(id, key).value_or(RetryState{id, key, 0, now, now, QString()});
    // A row's content fails on its attachment: the file is named with the reason.
    const QString why = recipient ? reply : QStringLiteral("%1 (%2)").arg(reply, row.imagePath);
    if (state.firstTry.addDays(kGiveUpAfterDays) <= now && state.attempts > 0) {
        ++counters_.invalid;
        show(Figure::Invalid, counters_.invalid);
        emit recipientGivenUp(address, why);
        history.record(SendOutcome::GivenUp, row, why);
        return RowResult::Finished;
    }
    ++state.attempts;
    state.nextTry = nextTryAfter(state.attempts, now);
    state.lastReply = reply;
    state_->saveRetryState(state);
    deferredInDrain_.insert(id);
    history.record(SendOutcome::Deferred, row, why);
    return RowResult::Kept;
}

void OutboxSender::keptForServer(const OutboxRow& row, const QString& server, const QString& reason,
                                 const QString& peer, const QString& setting) {
    keptForServerInDrain_.insert(row.id.toLongLong());
    keptForServer_.rows = static_cast<int>(keptForServerInDrain_.size());
    keptForServer_.server = server;
    keptForServer_.peer = peer;
    if (!setting.isEmpty()) keptForServer_.setting = setting;
    // Socket errors come as "Socket Error # N" and the system's text on two lines.
    static const QRegularExpression lineBreaks(QStringLiteral("[\r\n]+"));
    keptForServer_.reason = reason.split(lineBreaks, Qt::SkipEmptyParts).join(QStringLiteral(": "));
}

void OutboxSender::sendFailed(const QString& errorText, const std::optional<SettingToFix>& fix) {
    settingToFixOfFailure_ = fix ? fix->setting : QString();
    notices_.endingNotice(kProblemaAoEnviar, withAdvice(errorText, fix));
    IdSMTP.release();
    // Closing rolls the row's transaction back: the row stays and goes first at the next start.
    session_.connection().close();
}

}  // namespace velocast
