#pragma once
// The club's SMTP account as the settings table Qzcvar2 stores it, and how it configures the
// client: the host and port written as "host*port", the TLS mode by its setting name. The
// sender reads it anew for every drain, so a change made in the host system takes effect on
// the next one; --test-smtp reads it once, the same way.
#include <QString>
#include <optional>

#include "mail/mime/message_composer.h"
#include "mail/smtp/smtp_tls_mode.h"

namespace velocast {

namespace mail {
class SmtpClient;
}
class Dataset;
class SharedConnection;

struct SmtpAccount {
    QString server;             // STMP_PROVEDOR: host "*" port
    QString senderName;         // NOME_PROVEDOR
    QString senderAddress;      // EMAIL_PROVEDOR
    bool authenticate = false;  // USERNAME is not NULL
    QString userName;           // USERNAME, NULL read as empty
    QString password;           // PASSWORD
    QString tlsModeName;        // IdSMTP_UseTLS

    // An empty USERNAME names nobody to sign in as: it means no authentication, as NULL does,
    // and not a SASL exchange with an empty name that every server refuses.
    bool userNameBlank() const;
    bool authenticates() const { return authenticate && !userNameBlank(); }
};

// Reads the account from the current row of the settings dataset; throws DbError.
SmtpAccount readSmtpAccount(const Dataset& settings);
// Opens the settings table on `connection` and reads its row; throws DbError, also when the
// table has no row.
SmtpAccount readSmtpAccount(SharedConnection& connection);

// The host: the text before the first "*", without characters up to U+0020 at either end;
// empty without a "*".
QString smtpHost(const QString& server);
// The port: the text after the first "*" (the whole text without one), read as a signed
// 32-bit integer (leading blanks, a sign, decimal or "$"/"0x" hexadecimal; nothing may
// follow), kept modulo 65536. Nothing when it cannot be read.
std::optional<quint16> smtpPort(const QString& server);

// The mode a setting names, compared exactly (letter case and blanks count); nothing for any
// other text.
std::optional<mail::TlsMode> tlsModeFromSettingName(const QString& name);

// Sets TLS mode (an unknown or empty name gives required TLS, with a warning through the
// client), host, port, authentication and credentials, in that order. False when the port
// cannot be read; the host is set by then.
bool configureClient(mail::SmtpClient& client, const SmtpAccount& account);

// A message from the account's sender (name and address) to `recipients`.
mail::MessageFields messageFromAccount(const SmtpAccount& account, const QString& recipients, const QString& subject,
                                       const QString& body);

}  // namespace velocast
