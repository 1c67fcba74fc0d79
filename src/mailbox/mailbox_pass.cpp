#include "mailbox/mailbox_pass.h"

#include <exception>

#include "mail/mime/delivery_report.h"
#include "mail/mime/mime_reader.h"
#include "mail/oauth/token_error.h"
#include "mail/unsubscribe/unsubscribe_token.h"
#include "notices/notices.h"
#include "state/send_history.h"
#include "state/state_database.h"
#include "state/suppression_list.h"
#include "state/unsubscribe_secret.h"

namespace velocast {

namespace {

using mail::ImapFailure;

QString quoted(const QString& text) { return QLatin1Char('"') + StderrNotices::escape(text) + QLatin1Char('"'); }

QString serverName(const MailboxAccount& account) {
    return QStringLiteral("%1:%2").arg(account.endpoint.host).arg(account.endpoint.port);
}

bool signInCommand(const QString& command) {
    return command == QLatin1String("LOGIN") || command.startsWith(QLatin1String("AUTHENTICATE"));
}

// A state database that cannot be written: the message stays where it is, to be read again.
struct StateFailure {
    QString text;
};

// The opt-out a message asks for: the address, when its subject holds a token made under the
// club's key for the address it names.
std::optional<QString> optOutAddress(const mail::MimeEntity& header, const QByteArray& secret) {
    if (secret.isEmpty()) return std::nullopt;
    const QString subject = header.text("Subject");
    if (!subject.contains(QLatin1String(mail::kUnsubscribePrefix), Qt::CaseInsensitive)) return std::nullopt;
    return mail::unsubscribeRequestAddress(subject, secret);
}

// Suppresses `address` for the marketing campaigns; an opt-out read a second time (the move
// after the first reading failed) adds nothing.
QString honourOptOut(StateDatabase& state, const QString& address, const QDateTime& now) {
    SuppressionList list(state);
    const QString reason = QStringLiteral("opted out of the marketing e-mails by an unsubscribe request");
    const QString scope = QLatin1String(mail::kMarketingScope);
    if (!list.add({SuppressionList::normalized(address), scope, reason, now, QStringLiteral("unsubscribe")}))
        return QStringLiteral("opt-out request for %1 read again; already suppressed").arg(quoted(address));
    HistoryEntry entry;
    entry.at = now;
    entry.outcome = SendOutcome::OptedOut;
    entry.address = SuppressionList::normalized(address);
    entry.reply = reason;
    SendHistory(state).record(entry);
    return QStringLiteral("opt-out request: address=%1 suppressed for %2").arg(quoted(address), scope);
}

}  // namespace

QString mailboxFailureLine(const MailboxAccount& account, const mail::ImapError& error) {
    const QString server = serverName(account);
    const QString what = error.message();
    switch (error.failure()) {
    case ImapFailure::Connect:
    case ImapFailure::Timeout:
        return QStringLiteral("the mailbox %1 cannot be reached: %2; check [mailbox] host and port in velocast.conf")
            .arg(server, what);
    case ImapFailure::Tls:
    case ImapFailure::NoTls:
        return QStringLiteral("the mailbox %1 has no usable TLS: %2; check [mailbox] tls and port in velocast.conf")
            .arg(server, what);
    case ImapFailure::CertificateRefused:
        return QStringLiteral("the mailbox %1 was not trusted: %2; check [tls] verify, pin or ca_file in velocast.conf")
            .arg(server, what);
    case ImapFailure::SignIn:
        return QStringLiteral("the mailbox %1 refused the sign-in of %2: %3; change %4 or %5")
            .arg(server, quoted(account.credentials.userName), what, account.userSetting, account.passwordSetting);
    case ImapFailure::Refused:
        if (signInCommand(error.command()))
            return QStringLiteral("the mailbox %1 refused the sign-in of %2: %3; change %4 or %5")
                .arg(server, quoted(account.credentials.userName), what, account.userSetting, account.passwordSetting);
        if (error.command() == QLatin1String("SELECT") || error.command() == QLatin1String("EXAMINE"))
            return QStringLiteral(
                       "the mailbox folder %1 cannot be opened on %2: %3; change [mailbox] folder in "
                       "velocast.conf")
                .arg(quoted(account.folder), server, what);
        if (error.command() == QLatin1String("CREATE") || error.command().contains(QLatin1String("MOVE")) ||
            error.command().contains(QLatin1String("COPY")))
            return QStringLiteral(
                       "the processed folder %1 cannot be used on %2: %3; change [mailbox] "
                       "processed_folder in velocast.conf")
                .arg(quoted(account.processedFolder), server, what);
        break;
    case ImapFailure::Closed:
    case ImapFailure::Protocol:
    case ImapFailure::TooLarge:
    case ImapFailure::Interrupted: break;
    }
    return QStringLiteral("the mailbox %1 could not be read: %2; check [mailbox] host and port in velocast.conf")
        .arg(server, what);
}

MailboxPassResult readMailbox(const MailboxAccount& account, StateDatabase* state, const QDateTime& now,
                              bool checkOnly) {
    MailboxPassResult result;
    mail::ImapClient client(account.endpoint, account.credentials);
    try {
        client.connect();
        client.signIn();
        const mail::ImapFolderState folder = client.select(account.folder, checkOnly);
        result.messages = folder.exists;
        if (checkOnly) {
            client.logout();
            result.ok = true;
            return result;
        }
        if (!state || !state->isOpen())
            throw StateFailure{
                QStringLiteral("the mailbox is not read without the local state database; set [state] "
                               "database in velocast.conf")};
        QByteArray secret;
        try {
            secret = unsubscribeSecret(*state);
        } catch (const std::exception& e) {
            // Reports can still be read; requests wait until the key can be had.
            result.effects << QString::fromUtf8(e.what()) + QStringLiteral("; opt-out requests stay in the mailbox");
        }
        for (const quint64 uid : client.searchUids("ALL")) {
            // The header first: only a multipart message can be a report, and most of a club's
            // mail is neither a report nor a request.
            const std::optional<QByteArray> header = client.fetchHeader(uid);
            if (!header) continue;
            const mail::MimeEntity head = mail::readMimeMessage(*header).root;
            bool moveIt = false;
            if (head.contentType.type == "multipart") {
                const std::optional<QByteArray> raw = client.fetchMessage(uid);
                if (!raw) continue;
                const mail::MimeMessage message = mail::readMimeMessage(*raw);
                if (const auto report = mail::readDeliveryReport(message, *raw)) {
                    BounceOutcome outcome;
                    try {
                        outcome = processDeliveryReport(*report, *state, account.bounces, now);
                    } catch (const std::runtime_error& e) {
                        throw StateFailure{QString::fromUtf8(e.what())};
                    }
                    result.effects << outcome.effects;
                    moveIt = outcome.ours;
                    if (moveIt) ++result.reports;
                }
            }
            // An automatic answer is never taken for a member's request.
            if (!moveIt && !mail::isAutoReply(head)) {
                if (const std::optional<QString> address = optOutAddress(head, secret)) {
                    try {
                        result.effects << honourOptOut(*state, *address, now);
                    } catch (const std::runtime_error& e) {
                        throw StateFailure{QString::fromUtf8(e.what())};
                    }
                    moveIt = true;
                    ++result.requests;
                }
            }
            if (!moveIt) {
                ++result.left;
                continue;
            }
            if (client.move(uid, account.processedFolder) == mail::ImapMoveResult::CopiedNotRemoved)
                result.effects << QStringLiteral("message %1 copied to %2; the server cannot remove it from %3 alone")
                                      .arg(uid)
                                      .arg(quoted(account.processedFolder), quoted(account.folder));
        }
        client.logout();
        result.ok = true;
    } catch (const mail::ImapError& e) {
        client.logout();
        result.warning = mailboxFailureLine(account, e);
    } catch (const mail::TokenError& e) {
        client.logout();
        result.warning =
            QStringLiteral("the mailbox %1 cannot be signed in with OAuth: %2").arg(serverName(account), e.message());
    } catch (const StateFailure& e) {
        client.logout();
        result.warning = e.text + QStringLiteral("; the mailbox's messages stay where they are");
    }
    return result;
}

}  // namespace velocast
