#include "settings/settings.h"

#include "settings/settings_keys.h"

namespace velocast {

Settings::Settings(const LocalSettings& f) {
    file = f.path();
    const QString tlsSection = QStringLiteral("tls");
    tls.verify = f.text(tlsSection, QStringLiteral("verify"));
    tls.pins = f.list(tlsSection, QStringLiteral("pin"));
    tls.legacy = f.yes(tlsSection, QStringLiteral("legacy"));
    tls.caFile = f.filePath(tlsSection, QStringLiteral("ca_file"));

    const QString attachmentSection = QStringLiteral("attachments");
    attachments.foldersSet = f.isSet(attachmentSection, QStringLiteral("folders"));
    attachments.folders = f.filePaths(attachmentSection, QStringLiteral("folders"));
    attachments.maxSize = f.number(attachmentSection, QStringLiteral("max_size"));

    const QString sendingSection = QStringLiteral("sending");
    const auto limit = [&](const char* key) -> std::optional<int> {
        if (!f.isSet(sendingSection, QLatin1String(key))) return std::nullopt;
        return static_cast<int>(f.number(sendingSection, QLatin1String(key)));
    };
    sending.perMinute = limit("per_minute");
    sending.perHour = limit("per_hour");
    sending.perDay = limit("per_day");
    sending.messagesPerConnection =
        static_cast<int>(f.number(sendingSection, QStringLiteral("messages_per_connection")));

    stateDatabase = f.filePath(QStringLiteral("state"), QStringLiteral("database"));
    historyRetentionDays = static_cast<int>(f.number(QStringLiteral("history"), QStringLiteral("retention_days")));

    const QString oauthSection = QStringLiteral("oauth");
    oauth.provider = f.text(oauthSection, QStringLiteral("provider"));
    oauth.tenant = f.text(oauthSection, QStringLiteral("tenant"));
    oauth.clientId = f.text(oauthSection, QStringLiteral("client_id"));
    oauth.clientSecret = f.text(oauthSection, QStringLiteral("client_secret"));
    oauth.clientSecretFile = f.filePath(oauthSection, QStringLiteral("client_secret_file"));
    oauth.grant = f.text(oauthSection, QStringLiteral("grant"));
    oauth.scope = f.text(oauthSection, QStringLiteral("scope"));
    oauth.tokenEndpoint = f.text(oauthSection, QStringLiteral("token_endpoint"));
    oauth.deviceEndpoint = f.text(oauthSection, QStringLiteral("device_endpoint"));
    oauth.caFile = f.filePath(oauthSection, QStringLiteral("ca_file"));

    const QString databaseSection = QStringLiteral("database");
    database.queryTimeout = static_cast<int>(f.number(databaseSection, QStringLiteral("query_timeout")));
    database.lockTimeout = static_cast<int>(f.number(databaseSection, QStringLiteral("lock_timeout")));
    database.odbcDriver = f.text(databaseSection, QStringLiteral("odbc_driver"));
    database.caFile = f.filePath(databaseSection, QStringLiteral("ca_file"));

    const QString mailboxSection = QStringLiteral("mailbox");
    const auto mailboxKey = [&](const char* key) { return QLatin1String(key); };
    mailbox.host = f.text(mailboxSection, mailboxKey("host"));
    mailbox.port = static_cast<int>(f.number(mailboxSection, mailboxKey("port")));
    mailbox.tls = f.text(mailboxSection, mailboxKey("tls"));
    mailbox.user = f.text(mailboxSection, mailboxKey("user"));
    mailbox.password = f.text(mailboxSection, mailboxKey("password"));
    mailbox.passwordFile = f.filePath(mailboxSection, mailboxKey("password_file"));
    for (const SettingKey& k : settingKeys())
        if (mailboxSection == QLatin1String(k.section) && f.isSet(mailboxSection, QLatin1String(k.key)))
            mailbox.keysSet << QLatin1String(k.key);
    mailbox.folder = f.text(mailboxSection, mailboxKey("folder"));
    mailbox.processedFolder = f.text(mailboxSection, mailboxKey("processed_folder"));
    mailbox.checkMinutes = static_cast<int>(f.number(mailboxSection, mailboxKey("check_minutes")));
    mailbox.softBounces = static_cast<int>(f.number(mailboxSection, mailboxKey("soft_bounces")));
    mailbox.softBounceDays = static_cast<int>(f.number(mailboxSection, mailboxKey("soft_bounce_days")));

    const QString unsubscribeSection = QStringLiteral("unsubscribe");
    unsubscribe.enabled = f.yes(unsubscribeSection, QStringLiteral("enabled"));
    unsubscribe.campaigns = f.list(unsubscribeSection, QStringLiteral("campaigns"));
    unsubscribe.footer = f.text(unsubscribeSection, QStringLiteral("footer"));

    const QString reportSection = QStringLiteral("report");
    report.to = f.list(reportSection, QStringLiteral("to"));
    report.hour = static_cast<int>(f.number(reportSection, QStringLiteral("hour")));
}

std::optional<Settings> Settings::load(const QString& path, QString* error) {
    const auto file = LocalSettings::load(path, error);
    if (!file) return std::nullopt;
    return Settings(*file);
}

}  // namespace velocast
