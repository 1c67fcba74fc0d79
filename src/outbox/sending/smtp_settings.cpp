#include "outbox/sending/smtp_settings.h"

#include "data/dataset.h"

namespace velocast {

mail::SmtpAccount readSmtpAccount(const Dataset& settings) {
    mail::SmtpAccount account;
    account.server = settings.text(QStringLiteral("STMP_PROVEDOR"));
    account.senderName = settings.text(QStringLiteral("NOME_PROVEDOR"));
    account.senderAddress = settings.text(QStringLiteral("EMAIL_PROVEDOR"));
    account.authenticate = !settings.value(QStringLiteral("USERNAME")).isNull();
    account.userName = settings.text(QStringLiteral("USERNAME"));
    account.password = settings.text(QStringLiteral("PASSWORD"));
    account.tlsModeName = settings.text(QStringLiteral("IdSMTP_UseTLS"));
    return account;
}

}  // namespace velocast
