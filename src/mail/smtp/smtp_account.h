#pragma once
// The club's SMTP account as the settings row holds it, and how it configures the client.
// The outbox reads it from the settings table; this side knows nothing of the database.
#include <QString>
#include <optional>

namespace velocast::mail {

class SmtpClient;

struct SmtpAccount {
    QString server;        // STMP_PROVEDOR: host "*" port
    QString senderName;    // NOME_PROVEDOR
    QString senderAddress; // EMAIL_PROVEDOR
    bool authenticate = false;  // USERNAME is not NULL
    QString userName;      // USERNAME, NULL read as empty
    QString password;      // PASSWORD
    QString tlsModeName;   // IdSMTP_UseTLS

    // An empty USERNAME names nobody to sign in as: it means no authentication, as NULL does,
    // and not a SASL exchange with an empty name that every server refuses.
    bool userNameBlank() const;
    bool authenticates() const { return authenticate && !userNameBlank(); }
};

// The text without the characters of code U+0020 or below at either end (blanks, tabs, line
// breaks and other controls), as addresses and host names are read.
QString trimControlCharacters(const QString& text);

// The host: the text before the first "*", without characters up to U+0020 at either end;
// empty without a "*".
QString smtpHost(const QString& server);
// The port: the text after the first "*" (the whole text without one), read as a signed
// 32-bit integer (leading blanks, a sign, decimal or "$"/"0x" hexadecimal; nothing may
// follow), kept modulo 65536. Nothing when it cannot be read.
std::optional<quint16> smtpPort(const QString& server);

// Sets TLS mode (an unknown or empty name gives required TLS, with a warning through the
// client), host, port, authentication and credentials, in that order. False when the port cannot be read; the host is set by then.
bool configureClient(SmtpClient& client, const SmtpAccount& account);

}  // namespace velocast::mail
