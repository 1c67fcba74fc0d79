#include "settings/settings_keys.h"

namespace velocast {
namespace {

using K = SettingKey::Kind;

// One row per key. Keep each section's rows together; the README's "velocast.conf" table
// lists the same keys.
const SettingKey kKeys[] = {
    // How the SMTP server is trusted.
    {"tls", "verify", K::Choice, "system", "system|pin|off"},
    {"tls", "pin", K::List, ""},
    {"tls", "legacy", K::YesNo, "no"},
    {"tls", "ca_file", K::Path, ""},
    // Which files may go out as a campaign's attachment.
    {"attachments", "folders", K::PathList, ""},
    {"attachments", "max_size", K::Size, "10M", "", 1, 0},
    // Pacing of the drain; 0 means no limit.
    {"sending", "per_minute", K::Number, "0", "", 0, 0},
    {"sending", "per_hour", K::Number, "0", "", 0, 0},
    {"sending", "per_day", K::Number, "0", "", 0, 0},
    {"sending", "messages_per_connection", K::Number, "1", "", 1, 1000},
    // The local state database (retry state, send history, the day's count).
    {"state", "database", K::Path, ""},
    {"history", "retention_days", K::Number, "400", "", 1, 36500},
    // OAuth 2.0 sign-in to the SMTP server.
    {"oauth", "provider", K::Choice, "", "microsoft|google|custom"},
    {"oauth", "tenant", K::Text, ""},
    {"oauth", "client_id", K::Text, ""},
    {"oauth", "client_secret", K::Text, ""},
    {"oauth", "client_secret_file", K::Path, ""},
    {"oauth", "grant", K::Choice, "refresh_token", "refresh_token|client_credentials"},
    {"oauth", "scope", K::Text, ""},
    {"oauth", "token_endpoint", K::Text, ""},
    {"oauth", "device_endpoint", K::Text, ""},
    {"oauth", "ca_file", K::Path, ""},
    // The opt-out header and footer on the marketing campaigns' messages.
    {"unsubscribe", "enabled", K::YesNo, "yes"},
    {"unsubscribe", "campaigns", K::List, "ANIVERSARIANTE, FIDELIDADE, AUSENTES"},
    {"unsubscribe", "footer", K::Text, ""},
    // The club's daily report: who gets it, and the hour it goes when rows still wait.
    {"report", "to", K::List, ""},
    {"report", "hour", K::Number, "20", "", 0, 23},
    // The club's mailbox, read for delivery reports and opt-out requests; no host: not read.
    {"mailbox", "host", K::Text, ""},
    {"mailbox", "port", K::Number, "993", "", 1, 65535},
    {"mailbox", "tls", K::Choice, "implicit", "implicit|starttls"},
    {"mailbox", "user", K::Text, ""},
    {"mailbox", "password", K::Text, ""},
    {"mailbox", "password_file", K::Path, ""},
    {"mailbox", "folder", K::Text, "INBOX"},
    {"mailbox", "processed_folder", K::Text, "Velocast/Processados"},
    {"mailbox", "check_minutes", K::Number, "15", "", 1, 1440},
    {"mailbox", "soft_bounces", K::Number, "3", "", 1, 1000},
    {"mailbox", "soft_bounce_days", K::Number, "30", "", 1, 3650},
    // The club's SQL Server.
    {"database", "query_timeout", K::Number, "60", "", 1, 86400},
    {"database", "lock_timeout", K::Number, "30", "", 1, 86400},
    {"database", "odbc_driver", K::Text, ""},
    // The authorities (PEM) an encrypted SQL Server connection checks the server against;
    // empty: the system's.
    {"database", "ca_file", K::Path, ""},
};

}  // namespace

std::span<const SettingKey> settingKeys() { return kKeys; }

const SettingKey* findSettingKey(const QString& section, const QString& key) {
    for (const SettingKey& k : kKeys)
        if (section == QLatin1String(k.section) && key == QLatin1String(k.key)) return &k;
    return nullptr;
}

}  // namespace velocast
