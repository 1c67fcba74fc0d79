#include "mailbox/mailbox_setup.h"

#include <QDir>
#include <QFile>

#include "data/db_error.h"
#include "mail/oauth/token_service.h"
#include "notices/log_line.h"
#include "notices/notices.h"
#include "outbox/sending/smtp_account.h"
#include "settings/settings.h"
#include "outbox/sending/tls_settings.h"

namespace velocast {

namespace {

// The password file's text; nothing when it cannot be read (`error` says why).
std::optional<QString> passwordFromFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return std::nullopt;
    }
    return QString::fromUtf8(file.readAll()).trimmed();
}

}  // namespace

bool mailboxConfigured(const Settings& settings) { return !settings.mailbox.host.isEmpty(); }

QString mailboxSettingsProblem(const Settings& settings) {
    const QString file = QDir::toNativeSeparators(settings.file);
    const Settings::Mailbox& mailbox = settings.mailbox;
    if (!mailboxConfigured(settings)) {
        // A section without its host would silently read nothing: the club meant something.
        if (!mailbox.keysSet.isEmpty())
            return QStringLiteral(
                       "%1: [mailbox] %2 is set but [mailbox] host is not; set host to read the "
                       "club's mailbox, or remove the section")
                .arg(file, mailbox.keysSet.first());
        return {};
    }
    const bool passwordFileSet = mailbox.keysSet.contains(QLatin1String("password_file"));
    if (mailbox.keysSet.contains(QLatin1String("password")) && passwordFileSet)
        return QStringLiteral("%1: [mailbox] password and password_file are both set; keep one of them").arg(file);
    if (passwordFileSet) {
        QString why;
        if (!passwordFromFile(mailbox.passwordFile, &why))
            return QStringLiteral("%1: [mailbox] password_file %2 cannot be read: %3")
                .arg(file, QDir::toNativeSeparators(mailbox.passwordFile), why);
    }
    if (mailbox.folder.isEmpty())
        return QStringLiteral("%1: [mailbox] %2 is empty; name a folder of the mailbox")
            .arg(file, QStringLiteral("folder"));
    if (mailbox.processedFolder.isEmpty())
        return QStringLiteral("%1: [mailbox] %2 is empty; name a folder of the mailbox")
            .arg(file, QStringLiteral("processed_folder"));
    return {};
}

MailboxAccount mailboxAccount(const Settings& settings, const SmtpAccount& smtp, const mail::TlsPolicy& trust,
                              mail::TokenService* tokens) {
    const Settings::Mailbox& mailbox = settings.mailbox;
    const auto isSet = [&](const char* key) { return mailbox.keysSet.contains(QLatin1String(key)); };
    MailboxAccount account;
    account.endpoint.host = mailbox.host;
    const bool startTls = mailbox.tls == QLatin1String("starttls");
    account.endpoint.tls = startTls ? mail::ImapTls::StartTls : mail::ImapTls::Implicit;
    // STARTTLS begins on the plain IMAP port: a port left unset follows the mode.
    account.endpoint.port = isSet("port") ? quint16(mailbox.port) : startTls ? quint16(143) : quint16(993);
    account.endpoint.trust = trust;
    const bool ownUser = isSet("user");
    account.credentials.userName = ownUser ? mailbox.user : smtp.userName;
    account.userSetting =
        ownUser ? QStringLiteral("[mailbox] user in velocast.conf") : QStringLiteral("Qzcvar2.USERNAME");
    if (tokens) {
        account.credentials.bearer = mail::BearerSignIn{account.credentials.userName,
                                                        [tokens](bool renew) { return tokens->accessToken(renew); }};
        account.passwordSetting =
            QStringLiteral("the OAuth sign-in ([oauth] in velocast.conf; velocast --authorize-smtp signs in again)");
    } else if (isSet("password_file")) {
        QString why;
        account.credentials.password = passwordFromFile(mailbox.passwordFile, &why).value_or(QString());
        account.passwordSetting = QStringLiteral("[mailbox] password_file in velocast.conf");
    } else if (isSet("password")) {
        account.credentials.password = mailbox.password;
        account.passwordSetting = QStringLiteral("[mailbox] password in velocast.conf");
    } else {
        account.credentials.password = smtp.password;
        account.passwordSetting = QStringLiteral("Qzcvar2.PASSWORD");
    }
    account.folder = mailbox.folder;
    account.processedFolder = mailbox.processedFolder;
    account.bounces.softBounces = mailbox.softBounces;
    account.bounces.softBounceDays = mailbox.softBounceDays;
    return account;
}

MailboxPassResult runMailboxPass(const Settings& settings, SharedConnection& connection, mail::TokenService* tokens,
                                 StateDatabase* state, const QDateTime& now) {
    MailboxPassResult result;
    SmtpAccount smtp;
    try {
        smtp = readSmtpAccount(connection);
    } catch (const DbError& e) {
        result.warning = QStringLiteral("the mailbox is not read: the SMTP account cannot be read from Qzcvar2: %1")
                             .arg(e.message());
    }
    if (result.warning.isEmpty()) {
        QString unusable;
        const mail::TlsPolicy trust = tlsPolicyFromSettings(settings, &unusable).value_or(mail::TlsPolicy{});
        result = readMailbox(mailboxAccount(settings, smtp, trust, tokens), state, now);
    }
    for (const QString& effect : result.effects)
        writeLogLine(LogPriority::Info, QStringLiteral("velocast: mailbox: ") + StderrNotices::escape(effect));
    if (!result.ok)
        writeLogLine(LogPriority::Warning,
                     QStringLiteral("velocast: warning: ") + StderrNotices::escape(result.warning));
    else if (result.reports + result.requests > 0)
        writeLogLine(LogPriority::Info,
                     QStringLiteral("velocast: mailbox: %1 delivery report(s) and %2 opt-out request(s) read and moved "
                                    "to %3; %4 other message(s) left as they were")
                         .arg(result.reports)
                         .arg(result.requests)
                         .arg(settings.mailbox.processedFolder)
                         .arg(result.left));
    return result;
}

}  // namespace velocast
