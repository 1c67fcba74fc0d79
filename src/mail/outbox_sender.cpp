#include "mail/outbox_sender.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include "data/db_error.h"
#include "data/notices.h"
#include "data/session.h"
#include "data/sql_statement.h"
#include "mail/address_check.h"
#include "mail/smtp_account.h"

namespace velocast::mail {


OutboxSender::OutboxSender(Session& session, Notices& notices, QTimer& timer2, SendCounters& counters, Hooks hooks,
                           QObject* parent)
    : QObject(parent), session_(session), notices_(notices), timer2_(timer2), counters_(counters),
      hooks_(std::move(hooks)) {
    timer2_.setInterval(5000);
    connect(&timer2_, &QTimer::timeout, this, &OutboxSender::Timer2Timer);
}

void OutboxSender::show(const char* label, qint32 value) {
    if (hooks_.showFigure) hooks_.showFigure(QLatin1String(label), value);
}

void OutboxSender::Timer2Timer() {
    if (!timer2_.isActive()) return;
    timer2_.stop();
    if (ENVIAR_EMAIL()) {
        timer2_.start();
    } else if (hooks_.endRequest) {
        hooks_.endRequest();
    }
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

bool OutboxSender::ENVIAR_EMAIL() {
    finishedInDrain_ = 0;
    account_.reset();
    keptForServer_ = {};
    keptIds_.clear();
    Dataset& outbox = session_.TBLVelocast;
    SharedConnection& connection = session_.connection();
    qint32 pending = 0;
    try {
        outbox.requery(connection);
        pending = outbox.recordCount();
    } catch (const DbError&) {
        return false;
    }
    show("LBLENVIADOS", counters_.sent);
    show("LBLPENDENTES", pending);

    for (outbox.first(); !outbox.eof();) {
        try {
            connection.beginTransaction();
            const RowResult result = ENVIADO();
            if (result == RowResult::SendFailed) return false;  // the connection is closed by now
            if (result == RowResult::Finished) {
                show("LBLENVIADOS", counters_.sent);
                show("LBLPENDENTES", pending - counters_.sent);
                // A row someone else removed meanwhile (the outbox emptied from the tray menu)
                // deletes nothing, which is no error: its message went out and is counted.
                runPrepared(connection, QStringLiteral("DELETE FROM Velocast WHERE ID = :ID"),
                            {{QStringLiteral("ID"), outbox.value(QStringLiteral("ID"))}});
                outbox.removeCurrentRow();
                ++finishedInDrain_;
            } else {
                outbox.next();
            }
            connection.commit();
        } catch (const std::exception&) {
            try {
                if (connection.inTransaction()) connection.rollback();
            } catch (const DbError&) {
            }
            return false;
        }
        QCoreApplication::processEvents();
    }
    return true;
}

OutboxSender::RowResult OutboxSender::ENVIADO() {
    const Dataset& row = session_.TBLVelocast;
    const QString attachment = row.text(QStringLiteral("IMAGEM_CORPO_MARKETING"));
    const QString storedAddress = row.text(QStringLiteral("Email"));
    const QString address = trimControlCharacters(storedAddress);
    if (address.isEmpty() || !ValidaEMail(address)) {
        ++counters_.invalid;
        show("LBLINVALIDOS", counters_.invalid);
        return RowResult::Finished;
    }

    const SmtpAccount& account = this->account();
    if (!configureClient(IdSMTP, account)) {
        keptForServer(QStringLiteral("\"%1\"").arg(account.server),
                      QStringLiteral("no port can be read after the \"*\" (write it as host*port)"));
        return RowResult::Kept;
    }

    MessageFields fields;
    fields.senderAddress = account.senderAddress;
    fields.senderName = account.senderName;
    fields.recipients = storedAddress;
    fields.subject = row.text(QStringLiteral("Assunto"));
    fields.body = row.text(QStringLiteral("Texto"));
    fields.attachmentPath = attachment;

    try {
        IdSMTP.connect();
    } catch (const SmtpError& e) {
        IdSMTP.disconnect();
        keptForServer(QStringLiteral("%1:%2").arg(IdSMTP.host()).arg(IdSMTP.port()), e.message());
        return RowResult::Kept;
    }

    try {
        // The attachment is read only now, when the message goes out: a missing file is a
        // failed send like any other.
        IdSMTP.send(composeMessage(fields, compositionOptions()));
        ++counters_.sent;
    } catch (const SmtpError& e) {
        sendFailed(e.message());
        return RowResult::SendFailed;
    } catch (const CompositionError& e) {
        sendFailed(e.text());
        return RowResult::SendFailed;
    }
    IdSMTP.disconnect();
    return RowResult::Finished;
}

void OutboxSender::keptForServer(const QString& server, const QString& reason) {
    // A row can be visited twice in one drain (after the last row is deleted, the one before
    // it becomes current again); it is still one e-mail.
    keptIds_.insert(session_.TBLVelocast.value(QStringLiteral("ID")).toString());
    keptForServer_.rows = static_cast<int>(keptIds_.size());
    keptForServer_.server = server;
    // Socket errors come as "Socket Error # N" and the system's text on two lines.
    keptForServer_.reason = reason.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts)
                                .join(QStringLiteral(": "));
}

void OutboxSender::sendFailed(const QString& errorText) {
    notices_.MOSTRA_AVISO(QStringLiteral("!"), kProblemaAoEnviar, errorText);
    IdSMTP.release();
    // Closing rolls the row's transaction back: the row stays and goes first at the next start.
    session_.connection().close();
    if (hooks_.hideWindow) hooks_.hideWindow();
    if (hooks_.terminate) hooks_.terminate();
}

}  // namespace velocast::mail
