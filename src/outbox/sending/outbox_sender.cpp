#include "outbox/sending/outbox_sender.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include "data/db_error.h"
#include "data/notices.h"
#include "data/session.h"
#include "mail/mime/address_check.h"
#include "outbox/sending/smtp_settings.h"

namespace velocast {

using mail::CompositionError;
using mail::MessageFields;
using mail::SmtpError;

namespace {

// The server refused the recipient for good because the address itself is bad (5.1.x: no
// such mailbox, no such system, bad syntax, null MX...). Such a row can never be sent, and
// keeping it would stop all mail behind it at every start. Any other refusal (a policy or
// relay refusal, a temporary one, one without an enhanced code) may be the account's fault:
// it keeps ending the program, so that a misconfigured account never empties the outbox.
bool addressRefusedForGood(const SmtpError& error) {
    return error.command() == QLatin1String("RCPT") && error.replyCode() / 100 == 5 &&
           error.enhancedCode().startsWith(QLatin1String("5.1."));
}

}  // namespace

OutboxSender::OutboxSender(Session& session, Notices& notices, QTimer& timer2, SendCounters& counters, Hooks hooks,
                           QObject* parent)
    : QObject(parent), session_(session), outbox_(session), notices_(notices), timer2_(timer2), counters_(counters),
      hooks_(std::move(hooks)) {
    timer2_.setInterval(5000);
    connect(&timer2_, &QTimer::timeout, this, &OutboxSender::Timer2Timer);
}

void OutboxSender::show(Figure figure, qint32 value) {
    if (hooks_.showFigure) hooks_.showFigure(figure, value);
}

void OutboxSender::Timer2Timer() {
    if (!timer2_.isActive()) return;
    timer2_.stop();
    if (mayDrain && !mayDrain()) {
        timer2_.start();
        return;
    }
    if (ENVIAR_EMAIL()) {
        timer2_.start();
    } else if (hooks_.endRequest) {
        hooks_.endRequest();
    }
}

const mail::SmtpAccount& OutboxSender::account() {
    const Dataset& settings = session_.TBLCONTROLE2;
    if (!account_ || accountVersion_ != settings.version()) {
        account_.reset();
        account_ = readSmtpAccount(settings);  // throws DbError when the table is not open
        accountVersion_ = settings.version();
    }
    return *account_;
}

bool OutboxSender::ENVIAR_EMAIL() {
    finishedInDrain_ = 0;
    account_.reset();
    keptForServer_ = {};
    lastKeptId_.clear();
    SharedConnection& connection = session_.connection();
    qint32 pending = 0;
    try {
        pending = outbox_.reload();
    } catch (const DbError& e) {
        notices_.reportError(e.message());
        return false;
    }
    show(Figure::Sent, counters_.sent);
    show(Figure::Pending, pending);

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
            if (result == RowResult::Finished) {
                show(Figure::Sent, counters_.sent);
                show(Figure::Pending, pending - counters_.sent);
                // A row someone else removed meanwhile (the outbox emptied from the tray menu)
                // is no error.
                outbox_.removeCurrent();
                ++finishedInDrain_;
            } else {
                outbox_.next();
            }
            connection.commit();
        } catch (const std::exception& e) {
            try {
                if (connection.inTransaction()) connection.rollback();
            } catch (const DbError&) {
            }
            // The program ends after this; nobody may be left guessing why. A message already
            // delivered keeps its row and goes out once more at the next start.
            notices_.reportError(QString::fromUtf8(e.what()));
            return false;
        }
        QCoreApplication::processEvents();
    }
    return true;
}

OutboxSender::RowResult OutboxSender::ENVIADO(const OutboxRow& row) {
    const QString address = mail::trimControlCharacters(row.email);
    if (address.isEmpty() || !mail::ValidaEMail(address)) {
        ++counters_.invalid;
        show(Figure::Invalid, counters_.invalid);
        return RowResult::Finished;
    }

    const mail::SmtpAccount& account = this->account();
    if (!mail::configureClient(IdSMTP, account)) {
        keptForServer(row, QStringLiteral("\"%1\"").arg(account.server),
                      QStringLiteral("no port can be read after the \"*\" (write it as host*port)"));
        return RowResult::Kept;
    }

    MessageFields fields;
    fields.senderAddress = account.senderAddress;
    fields.senderName = account.senderName;
    fields.recipients = row.email;
    fields.subject = row.subject;
    fields.body = row.text;
    fields.attachmentPath = row.imagePath;

    try {
        IdSMTP.connect();
    } catch (const SmtpError& e) {
        IdSMTP.disconnect();
        keptForServer(row, QStringLiteral("%1:%2").arg(IdSMTP.host()).arg(IdSMTP.port()), e.message());
        return RowResult::Kept;
    }

    try {
        // The attachment is read only now, when the message goes out: a missing file is a
        // failed send like any other.
        IdSMTP.send(mail::composeMessage(fields, compositionOptions()));
        ++counters_.sent;
    } catch (const SmtpError& e) {
        if (addressRefusedForGood(e)) {
            IdSMTP.disconnect();  // RSET was said already; QUIT ends the session cleanly
            ++counters_.invalid;
            show(Figure::Invalid, counters_.invalid);
            if (hooks_.recipientRefused)
                hooks_.recipientRefused(address, QStringLiteral("%1 %2").arg(e.replyCode()).arg(e.message()));
            return RowResult::Finished;
        }
        sendFailed(e.message());
        return RowResult::SendFailed;
    } catch (const CompositionError& e) {
        sendFailed(e.text());
        return RowResult::SendFailed;
    }
    IdSMTP.disconnect();
    return RowResult::Finished;
}

void OutboxSender::keptForServer(const OutboxRow& row, const QString& server, const QString& reason) {
    // A row can be visited twice in one drain: after the last row is deleted, the one before
    // it becomes current again. That is the row kept just before; it is still one e-mail.
    if (keptForServer_.rows == 0 || row.id != lastKeptId_) ++keptForServer_.rows;
    lastKeptId_ = row.id;
    keptForServer_.server = server;
    // Socket errors come as "Socket Error # N" and the system's text on two lines.
    static const QRegularExpression lineBreaks(QStringLiteral("[\r\n]+"));
    keptForServer_.reason = reason.split(lineBreaks, Qt::SkipEmptyParts).join(QStringLiteral(": "));
}

void OutboxSender::sendFailed(const QString& errorText) {
    notices_.MOSTRA_AVISO(QStringLiteral("!"), kProblemaAoEnviar, errorText);
    IdSMTP.release();
    // Closing rolls the row's transaction back: the row stays and goes first at the next start.
    session_.connection().close();
    if (hooks_.hideWindow) hooks_.hideWindow();
    if (hooks_.terminate) hooks_.terminate();
}

}  // namespace velocast
