// The drain: the outbox row by row, each in its own transaction committed before the next
// message begins, and the steps one row goes through before its message is offered.
#include <QCoreApplication>

#include "calendar/clock.h"
#include "data/db_error.h"
#include "data/session.h"
#include "mail/mime/address_check.h"
#include "notices/notices.h"
#include "outbox/sending/outbox_sender.h"
#include "outbox/sending/smtp_account.h"
#include "outbox/sending/suppressed_rows.h"

namespace velocast {

using mail::CompositionError;
using mail::MessageFields;
using mail::SmtpError;

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
        ~EndSession() { sender.smtpSession_.end(); }
    } endSession{*this};

    bool walkedAll = true;
    while (!outbox_.atEnd()) {
        if (mayDrain && !mayDrain()) {
            walkedAll = false;
            break;
        }
        const RowStep step = drainRow(connection, pending);
        if (step == RowStep::Failed) return false;
        if (step == RowStep::Stop) {
            walkedAll = false;
            break;
        }
        QCoreApplication::processEvents();
    }
    // A server the rows could not reach would not take it either.
    if (walkedAll && keptForServer_.rows == 0) sendOwnMessage(pending - finishedInDrain_);
    // The connection idles until the next drain: with no transaction left open on the server.
    try {
        connection.settle();
    } catch (const DbError&) {}
    return true;
}

OutboxSender::RowStep OutboxSender::drainRow(SharedConnection& connection, qint32 pending) {
    // What the row leaves in the state database (the message sent, its history, its retry
    // state) is committed once, after the outbox row's own commit, whichever way the row ends.
    state_->gatherWrites();
    struct CommitState {
        OutboxSender& sender;
        ~CommitState() {
            sender.keepingState([this] { sender.state_->commitWrites(); });
        }
    } commitState{*this};
    try {
        // Read before the row's transaction begins: on SQLite a read inside it would tie
        // the transaction to a snapshot that a write by the club's system in the meantime
        // makes too old to delete the row.
        const OutboxRow row = outbox_.current();
        connection.beginTransaction();
        // A row removed since the drain began (the outbox emptied from the tray menu) was
        // meant not to go: nothing is sent for it.
        const RowResult result = row.id.isNull() ? RowResult::Finished : ENVIADO(row);
        if (result == RowResult::SendFailed) return RowStep::Failed;  // the connection is closed by now
        if (result == RowResult::Paused) {
            connection.commit();
            return RowStep::Stop;  // the rows stay; the drain resumes when the window opens
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
        return RowStep::Next;
    } catch (const std::exception& e) {
        try {
            if (connection.inTransaction()) connection.rollback();
        } catch (const DbError&) {}
        // The program ends after this; nobody may be left guessing why. A message already
        // delivered keeps its row and goes out once more at the next start.
        const QString error = QString::fromUtf8(e.what());
        const QString timeout = connection.timeoutExplanation(error);
        notices_.reportError(timeout.isEmpty() ? error : timeout);
        return RowStep::Failed;
    }
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
    if (!smtpSession_.configure(account, accountVersion_)) {
        keptForServer(row, QStringLiteral("\"%1\"").arg(account.server),
                      QStringLiteral("no port can be read after the \"*\" (write it as host*port)"),
                      QStringLiteral("SMTP server"), settingColumn(mail::SmtpSetting::Server));
        return RowResult::Kept;
    }

    if (const auto wait = pacingPause(*state_, pacingLimitsFor(pacing_, IdSMTP.host()), now)) {
        smtpSession_.end();
        pause(wait->until, QStringLiteral("the pacing limit of %1 was reached").arg(wait->reason),
              PauseCause::PacingLimit);
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

    return submit(row, address, message);
}

OutboxSender::RowResult OutboxSender::submit(const OutboxRow& row, const QString& address,
                                             const mail::ComposedMessage& message) {
    try {
        // The next message on a session still open: RSET first, or a new session when the
        // server no longer takes it.
        smtpSession_.open(account(), accountVersion_, tokens_);
        IdSMTP.send(message);
    } catch (const SmtpError& e) {
        return rowFailed(row, address, e);
    } catch (const mail::TokenError& e) {  // no token, or a refused one that could not be renewed
        return tokenFailed(row, e);
    }
    ++counters_.sent;
    // The server has the message: a state file that cannot be written now must not make the
    // drain fail, or the row would stay and the message go out again at every start.
    keepingState([&] { state_->recordSent(localNow()); });
    history.record(SendOutcome::Sent, row, IdSMTP.acceptedReply(), mail::messageIdOf(message));
    smtpSession_.messageSent(pacing_.messagesPerConnection);
    return RowResult::Finished;
}

}  // namespace velocast
