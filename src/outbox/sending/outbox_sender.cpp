#include "outbox/sending/outbox_sender.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include "calendar/clock.h"
#include "data/db_error.h"
#include "notices/notices.h"
#include "data/session.h"
#include "mail/mime/address_check.h"
#include "outbox/sending/oauth_sign_in.h"
#include "outbox/sending/setting_to_fix.h"
#include "outbox/sending/smtp_account.h"
#include "outbox/sending/suppressed_rows.h"

namespace velocast {

using mail::CompositionError;
using mail::MessageFields;
using mail::SmtpError;

OutboxSender::OutboxSender(Session& session, Notices& notices, SendCounters& counters, QObject* parent)
    : QObject(parent), session_(session), outbox_(session), notices_(notices), counters_(counters) {
    QString error;
    memoryState_.open(QString::fromLatin1(StateDatabase::kInMemory), &error);
    Timer2.setInterval(kSendTickInterval);
    connect(&Timer2, &QTimer::timeout, this, &OutboxSender::Timer2Timer);
}

void OutboxSender::show(Figure figure, qint32 value) { emit figureChanged(figure, value); }

void OutboxSender::Timer2Timer() {
    if (!Timer2.isActive()) return;
    Timer2.stop();
    if (!mayDrain || mayDrain()) {
        if (betweenDrains) betweenDrains();
        if (ENVIAR_EMAIL()) Timer2.start();
    } else {
        Timer2.start();
    }
    emit tickEnded();
}

const SmtpAccount& OutboxSender::account() {
    const Dataset& settings = session_.TBLCONTROLE2;
    if (!account_ || accountVersion_ != settings.version()) {
        account_.reset();
        account_ = readSmtpAccount(settings);  // throws DbError when the table is not open
        accountVersion_ = settings.version();
    }
    return *account_;
}

bool OutboxSender::stillPaused() {
    if (!pausedUntil_.isValid()) return false;
    if (localNow() < pausedUntil_) return true;
    pausedUntil_ = QDateTime();
    emit pauseChanged(QDateTime(), QString());
    return false;
}

void OutboxSender::pause(const QDateTime& until, const QString& reason) {
    pausedUntil_ = until;
    emit pauseChanged(until, reason);
}

void OutboxSender::pauseForServer(const FailureVerdict& verdict, const QString& reply) {
    pause(windowEnd(verdict.window, localNow()),
          QStringLiteral("the server %1:%2 throttles: %3").arg(IdSMTP.host()).arg(IdSMTP.port()).arg(reply));
}

void OutboxSender::endSession() {
    if (IdSMTP.isConnected()) IdSMTP.disconnect();
    messagesInSession_ = 0;
}

bool OutboxSender::ENVIAR_EMAIL() {
    const bool walked = drain();
    if (keptForServer_.rows > 0) emit serverUnreachable(keptForServer_);
    // The tick begins the next drain one interval after this one ended.
    const QDateTime now = localNow();
    if (outage_.drainEnded(keptForServer_.rows, keptForServer_.peer, keptForServer_.server, keptForServer_.reason, now,
                           now.addMSecs(Timer2.interval())))
        emit serverOutageChanged(outage_.outage());
    if (!walked) emit failed();
    return walked;
}

bool OutboxSender::drain() {
    finishedInDrain_ = 0;
    deferredInDrain_.clear();
    account_.reset();
    keptForServer_ = {};
    keptForServerInDrain_.clear();
    settingToFixOfFailure_.clear();
    attachmentsReported_.clear();
    SharedConnection& connection = session_.connection();
    qint32 pending = 0;
    try {
        pending = outbox_.reload();
        // Retry state of rows gone from the outbox long ago (emptied from the tray menu).
        state_->forgetStale(localNow().addDays(-2 * kGiveUpAfterDays));
    } catch (const std::exception& e) {
        notices_.reportError(QString::fromUtf8(e.what()));
        return false;
    }
    show(Figure::Sent, counters_.sent);
    show(Figure::Pending, pending);
    // Throttled: every row waits for the window to open again; nothing is tried before.
    if (stillPaused()) return true;
    // Whatever way the drain ends, an open session is closed with QUIT: the next drain is
    // five seconds (or a pause) away.
    struct EndSession {
        OutboxSender& sender;
        ~EndSession() { sender.endSession(); }
    } endSession{*this};

    while (!outbox_.atEnd()) {
        if (mayDrain && !mayDrain()) break;
        try {
            // Read before the row's transaction begins: on SQLite a read inside it would tie
            // the transaction to a snapshot that a write by the club's system in the meantime
            // makes too old to delete the row.
            const OutboxRow row = outbox_.current();
            connection.beginTransaction();
            // A row removed since the drain began (the outbox emptied from the tray menu) was
            // meant not to go: nothing is sent for it.
            const RowResult result = row.id.isNull() ? RowResult::Finished : ENVIADO(row);
            if (result == RowResult::SendFailed) return false;  // the connection is closed by now
            if (result == RowResult::Paused) {
                connection.commit();
                break;  // the rows stay; the drain resumes when the window opens
            }
            if (result == RowResult::Finished) {
                show(Figure::Sent, counters_.sent);
                show(Figure::Pending, pending - counters_.sent);
                if (!row.id.isNull()) keepingState([&] { state_->forgetRow(row.id.toLongLong()); });
                // A row someone else removed meanwhile (the outbox emptied from the tray menu)
                // is no error. The delete commits the row's transaction with it.
                outbox_.removeCurrentAndCommit();
                ++finishedInDrain_;
            } else {
                outbox_.next();
                connection.commit();
            }
        } catch (const std::exception& e) {
            try {
                if (connection.inTransaction()) connection.rollback();
            } catch (const DbError&) {}
            // The program ends after this; nobody may be left guessing why. A message already
            // delivered keeps its row and goes out once more at the next start.
            const QString error = QString::fromUtf8(e.what());
            const QString timeout = connection.timeoutExplanation(error);
            notices_.reportError(timeout.isEmpty() ? error : timeout);
            return false;
        }
        QCoreApplication::processEvents();
    }
    // The connection idles until the next drain: with no transaction left open on the server.
    try {
        connection.settle();
    } catch (const DbError&) {}
    return true;
}

OutboxSender::RowResult OutboxSender::ENVIADO(const OutboxRow& row) {
    // An address on the suppression list (gone, or opted out) gets nothing; the row goes as invalid.
    if (rowSuppressed(row, *state_, history, {}, suppressionScope ? suppressionScope(row) : QString())) {
        ++counters_.invalid;
        show(Figure::Invalid, counters_.invalid);
        return RowResult::Finished;
    }
    const QString address = mail::trimControlCharacters(row.email);
    if (address.isEmpty() || !mail::ValidaEMail(address)) {
        ++counters_.invalid;
        show(Figure::Invalid, counters_.invalid);
        history.record(SendOutcome::Invalid, row);
        return RowResult::Finished;
    }

    // A row deferred earlier waits for its next try; the rows behind it go on.
    const QDateTime now = localNow();
    if (const auto retry = state_->retryState(row.id.toLongLong(), StateDatabase::rowKey(row.email, row.subject));
        retry && retry->nextTry > now) {
        deferredInDrain_.insert(row.id.toLongLong());
        return RowResult::Kept;
    }

    const SmtpAccount& account = this->account();
    // A session stays open only for the account it was opened with: a change in the settings
    // row (read again after the watchdog reopened it) takes effect on a new one.
    if (IdSMTP.isConnected() && sessionAccountVersion_ != accountVersion_) endSession();
    if (!IdSMTP.isConnected() && !configureClient(IdSMTP, account)) {
        keptForServer(row, QStringLiteral("\"%1\"").arg(account.server),
                      QStringLiteral("no port can be read after the \"*\" (write it as host*port)"),
                      QStringLiteral("SMTP server"), QStringLiteral("STMP_PROVEDOR"));
        return RowResult::Kept;
    }

    if (const auto wait = pacingPause(*state_, pacingLimitsFor(pacing_, IdSMTP.host()), now)) {
        endSession();
        pause(wait->until, QStringLiteral("the pacing limit of %1 was reached").arg(wait->reason));
        return RowResult::Paused;
    }

    MessageFields fields = messageFromAccount(account, row.email, row.subject, row.text);
    fields.attachmentPath = row.imagePath;
    if (amendMessage) amendMessage(row, fields);
    mail::ComposedMessage message;
    try {
        // The attachment is read now, before a session is spent on a message that cannot go;
        // one that cannot or may not be read defers its row and the others go on.
        mail::CompositionOptions options = compositionOptions();
        options.attachments = attachmentPolicy;
        message = mail::composeMessage(fields, options);
    } catch (const CompositionError& e) {
        if (!attachmentsReported_.contains(row.imagePath)) {
            attachmentsReported_ << row.imagePath;
            emit attachmentUnreadable(row.imagePath, e.text());
        }
        return defer(row, address, e.text(), false);
    }

    // The next message on a session still open: RSET first, or a new session when the
    // server no longer takes it.
    if (IdSMTP.isConnected() && !IdSMTP.resetForNextMessage()) messagesInSession_ = 0;
    if (!IdSMTP.isConnected()) {
        if (tokens_) {
            // Asked before the server: without a token there is nothing to sign in with.
            try {
                tokens_->accessToken();
            } catch (const mail::TokenError& e) {
                return tokenFailed(row, e);
            }
            signInWithTokens(IdSMTP, *tokens_, account.userName);
        }
        try {
            IdSMTP.connect();
            messagesInSession_ = 0;
            sessionAccountVersion_ = accountVersion_;
        } catch (const SmtpError& e) {
            IdSMTP.disconnect();
            // A refused certificate is no passing outage: it is said as a failed send is, so
            // that a person sees it (the row stays either way).
            if (e.certificateRefused()) {
                sendFailed(e.message());
                return RowResult::SendFailed;
            }
            if (const FailureVerdict verdict = classifySmtpFailure(e);
                verdict.failureClass == FailureClass::Throttled) {
                pauseForServer(verdict, e.message());
                return RowResult::Paused;
            }
            // A mode name the client does not know was replaced by required TLS; a server that
            // cannot be reached that way may well need the mode the club meant to write.
            QString setting = e.setting();
            if (setting.isEmpty() && !tlsModeFromSettingName(account.tlsModeName))
                setting = QStringLiteral("IdSMTP_UseTLS");
            keptForServer(row, QStringLiteral("%1:%2").arg(IdSMTP.host()).arg(IdSMTP.port()), e.message(),
                          QStringLiteral("SMTP server"), setting);
            return RowResult::Kept;
        }
    }
    return submit(row, address, message);
}

OutboxSender::RowResult OutboxSender::submit(const OutboxRow& row, const QString& address,
                                             const mail::ComposedMessage& message) {
    try {
        IdSMTP.send(message);
    } catch (const SmtpError& e) {
        const QString reply = e.replyCode() ? QStringLiteral("%1 %2").arg(e.replyCode()).arg(e.message()) : e.message();
        const FailureVerdict verdict = classifySmtpFailure(e);
        switch (verdict.failureClass) {
        case FailureClass::ServerWide:
            sendFailed(fullReply(e), settingToFix(e, account(), tokens_ != nullptr));
            return RowResult::SendFailed;
        case FailureClass::Throttled:
            endSession();
            pauseForServer(verdict, reply);
            return RowResult::Paused;
        case FailureClass::RecipientForGood:
            endSession();  // RSET was said already; QUIT ends the session cleanly
            ++counters_.invalid;
            show(Figure::Invalid, counters_.invalid);
            emit recipientRefused(address, reply);
            history.record(SendOutcome::Refused, row, reply);
            return RowResult::Finished;
        case FailureClass::RecipientForNow:
        case FailureClass::RowContent: endSession(); return defer(row, address, reply, true);
        }
    } catch (const mail::TokenError& e) {  // a refused token could not be renewed
        IdSMTP.release();
        return tokenFailed(row, e);
    }
    ++counters_.sent;
    // The server has the message: a state file that cannot be written now must not make the
    // drain fail, or the row would stay and the message go out again at every start.
    keepingState([&] { state_->recordSent(localNow()); });
    history.record(SendOutcome::Sent, row, IdSMTP.acceptedReply(), mail::messageIdOf(message));
    if (++messagesInSession_ >= std::max(1, pacing_.messagesPerConnection)) endSession();
    return RowResult::Finished;
}

OutboxSender::RowResult OutboxSender::tokenFailed(const OutboxRow& row, const mail::TokenError& error) {
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

void OutboxSender::keepingState(const std::function<void()>& write) {
    try {
        write();
        stateFailing_ = false;
    } catch (const std::exception& e) {
        if (stateFailing_) return;
        stateFailing_ = true;
        if (history.warn)
            history.warn(
                QStringLiteral("%1; the e-mails still go out, but pacing and retries may miss what was sent meanwhile")
                    .arg(QString::fromUtf8(e.what())));
    }
}

}  // namespace velocast
