#include "mailbox/mailbox_setup.h"

#include <QDir>
#include <QFile>

#include "data/db_error.h"
#include "mail/oauth/token_service.h"
#include "notices/log_line.h"
#include "notices/notices.h"
#include "outbox/sending/smtp_settings.h"
#include "settings/local_settings.h"
#include "settings/settings_keys.h"
#include "outbox/sending/tls_settings.h"

namespace velocast {

namespace {

const QString kSection = QStringLiteral("mailbox");

QString key(const char* name) { return QString::fromLatin1(name); }

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

bool mailboxConfigured(const LocalSettings& settings) { return !settings.text(kSection, key("host")).isEmpty(); }

QString mailboxSettingsProblem(const LocalSettings& settings) {
    const QString file = QDir::toNativeSeparators(settings.path());
    if (!mailboxConfigured(settings)) {
        // A section without its host would silently read nothing: the club meant something.
        for (const SettingKey& k : settingKeys())
            if (kSection == QLatin1String(k.section) && settings.isSet(kSection, key(k.key)))
                return QStringLiteral(
                           "%1: [mailbox] %2 is set but [mailbox] host is not; set host to read the "
                           "club's mailbox, or remove the section")
                    .arg(file, key(k.key));
        return {};
    }
    if (settings.isSet(kSection, key("password")) && settings.isSet(kSection, key("password_file")))
        return QStringLiteral("%1: [mailbox] password and password_file are both set; keep one of them").arg(file);
    if (settings.isSet(kSection, key("password_file"))) {
        QString why;
        const QString path = settings.filePath(kSection, key("password_file"));
        if (!passwordFromFile(path, &why))
            return QStringLiteral("%1: [mailbox] password_file %2 cannot be read: %3")
                .arg(file, QDir::toNativeSeparators(path), why);
    }
    for (const char* folder : {"folder", "processed_folder"})
        if (settings.text(kSection, key(folder)).isEmpty())
            return QStringLiteral("%1: [mailbox] %2 is empty; name a folder of the mailbox").arg(file, key(folder));
    return {};
}

MailboxAccount mailboxAccount(const LocalSettings& settings, const SmtpAccount& smtp, const mail::TlsPolicy& trust,
                              mail::TokenService* tokens) {
    MailboxAccount account;
    account.endpoint.host = settings.text(kSection, key("host"));
    const bool startTls = settings.text(kSection, key("tls")) == QLatin1String("starttls");
    account.endpoint.tls = startTls ? mail::ImapTls::StartTls : mail::ImapTls::Implicit;
    // STARTTLS begins on the plain IMAP port: a port left unset follows the mode.
    account.endpoint.port = settings.isSet(kSection, key("port")) ? quint16(settings.number(kSection, key("port")))
                            : startTls                            ? quint16(143)
                                                                  : quint16(993);
    account.endpoint.trust = trust;
    const bool ownUser = settings.isSet(kSection, key("user"));
    account.credentials.userName = ownUser ? settings.text(kSection, key("user")) : smtp.userName;
    account.userSetting =
        ownUser ? QStringLiteral("[mailbox] user in velocast.conf") : QStringLiteral("Qzcvar2.USERNAME");
    if (tokens) {
        account.credentials.bearer = mail::BearerSignIn{account.credentials.userName,
                                                        [tokens](bool renew) { return tokens->accessToken(renew); }};
        account.passwordSetting =
            QStringLiteral("the OAuth sign-in ([oauth] in velocast.conf; velocast --authorize-smtp signs in again)");
    } else if (settings.isSet(kSection, key("password_file"))) {
        QString why;
        account.credentials.password =
            passwordFromFile(settings.filePath(kSection, key("password_file")), &why).value_or(QString());
        account.passwordSetting = QStringLiteral("[mailbox] password_file in velocast.conf");
    } else if (settings.isSet(kSection, key("password"))) {
        account.credentials.password = settings.text(kSection, key("password"));
        account.passwordSetting = QStringLiteral("[mailbox] password in velocast.conf");
    } else {
        account.credentials.password = smtp.password;
        account.passwordSetting = QStringLiteral("Qzcvar2.PASSWORD");
    }
    account.folder = settings.text(kSection, key("folder"));
    account.processedFolder = settings.text(kSection, key("processed_folder"));
    account.bounces.softBounces = int(settings.number(kSection, key("soft_bounces")));
    account.bounces.softBounceDays = int(settings.number(kSection, key("soft_bounce_days")));
    return account;
}

MailboxPassResult runMailboxPass(const LocalSettings& settings, SharedConnection& connection,
                                 mail::TokenService* tokens, StateDatabase* state, const QDateTime& now) {
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
                         .arg(settings.text(kSection, key("processed_folder")))
                         .arg(result.left));
    return result;
}

}  // namespace velocast
