#include "outbox/sending/smtp_account.h"

#include "data/dataset.h"
#include "data/db_error.h"
#include "data/host_schema.h"
#include "mail/mime/address_check.h"
#include "mail/smtp/smtp_client.h"
#include "mail/smtp/smtp_reply.h"

namespace velocast {

SmtpAccount readSmtpAccount(const Dataset& settings) {
    SmtpAccount account;
    account.server = settings.text(QStringLiteral("STMP_PROVEDOR"));
    account.senderName = settings.text(QStringLiteral("NOME_PROVEDOR"));
    account.senderAddress = settings.text(QStringLiteral("EMAIL_PROVEDOR"));
    account.authenticate = !settings.value(QStringLiteral("USERNAME")).isNull();
    account.userName = settings.text(QStringLiteral("USERNAME"));
    account.password = settings.text(QStringLiteral("PASSWORD"));
    account.tlsModeName = settings.text(QStringLiteral("IdSMTP_UseTLS"));
    return account;
}

SmtpAccount readSmtpAccount(SharedConnection& connection) {
    Dataset settings(QStringLiteral("TBLCONTROLE2"));
    settings.openTable(connection, QStringLiteral("Qzcvar2"), declaredColumns(QStringLiteral("Qzcvar2")));
    if (settings.eof()) throw DbError(QStringLiteral("the settings table Qzcvar2 has no row"));
    return readSmtpAccount(settings);
}

bool SmtpAccount::userNameBlank() const { return authenticate && mail::trimControlCharacters(userName).isEmpty(); }

QString smtpHost(const QString& server) {
    const qsizetype star = server.indexOf(QLatin1Char('*'));
    return star < 0 ? QString() : mail::trimControlCharacters(server.left(star));
}

std::optional<quint16> smtpPort(const QString& server) {
    const qsizetype star = server.indexOf(QLatin1Char('*'));
    const QString text = star < 0 ? server : server.mid(star + 1);
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' ')) ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < text.size() && text.at(i) == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text.at(i) == QLatin1Char('0') &&
               (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        int digit;
        if (c >= u'0' && c <= u'9') digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
        else return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFLL) return std::nullopt;
    }
    if (base == 10) {
        if (negative) value = -value;
        if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    } else {
        // A hexadecimal number fills the 32 bits as it stands ($FFFFFFFF is -1).
        value = static_cast<qint32>(static_cast<quint32>(value));
        if (negative) value = -value;
    }
    return static_cast<quint16>(static_cast<quint32>(static_cast<qint32>(value)) & 0xFFFF);
}

std::optional<mail::TlsMode> tlsModeFromSettingName(const QString& name) {
    using mail::TlsMode;
    for (const TlsMode mode : {TlsMode::Explicit, TlsMode::None, TlsMode::Implicit, TlsMode::Required})
        if (name == mail::tlsModeSettingName(mode)) return mode;
    return std::nullopt;
}

bool configureClient(mail::SmtpClient& client, const SmtpAccount& account) {
    using mail::TlsMode;
    if (const auto mode = tlsModeFromSettingName(account.tlsModeName)) {
        client.setTlsMode(*mode);
    } else {
        // A misspelt or empty mode must not leave the password to whatever the server offers:
        // the strict mode, and a word about it.
        client.setTlsMode(TlsMode::Required);
        client.warn(QStringLiteral("IdSMTP_UseTLS \"%1\" is not a TLS mode; using utUseRequireTLS (STARTTLS required). "
                                   "Write utUseRequireTLS, utUseImplicitTLS, utUseExplicitTLS or utNoTLSSupport in "
                                   "Qzcvar2.IdSMTP_UseTLS.")
                        .arg(mail::printableText(account.tlsModeName)));
    }
    client.setHost(smtpHost(account.server));
    const auto port = smtpPort(account.server);
    if (!port) return false;
    client.setPort(*port);
    if (account.userNameBlank())
        client.warn(
            QStringLiteral("USERNAME is empty: sending without authentication, as for NULL. Write the mailbox's "
                           "user name in Qzcvar2.USERNAME to sign in, or set it to NULL."));
    client.setAuthentication(account.authenticates() ? mail::SmtpAuthentication::Sasl : mail::SmtpAuthentication::None);
    client.setUserName(account.userName);
    client.setPassword(account.password);
    return true;
}

mail::MessageFields messageFromAccount(const SmtpAccount& account, const QString& recipients, const QString& subject,
                                       const QString& body) {
    mail::MessageFields fields;
    fields.senderAddress = account.senderAddress;
    fields.senderName = account.senderName;
    fields.recipients = recipients;
    fields.subject = subject;
    fields.body = body;
    return fields;
}

}  // namespace velocast
