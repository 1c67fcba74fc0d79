#pragma once
// Makes the SMTP client sign in as the club's mailbox with the token service's access tokens.
#include "mail/oauth/token_service.h"
#include "mail/smtp/smtp_client.h"

namespace velocast {

// The client offers the tokens (and never the password); `tokens` must outlive the session.
void signInWithTokens(mail::SmtpClient& client, mail::TokenService& tokens, const QString& mailbox);

}  // namespace velocast
