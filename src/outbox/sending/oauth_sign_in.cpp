#include "outbox/sending/oauth_sign_in.h"

namespace velocast {

void signInWithTokens(mail::SmtpClient& client, mail::TokenService& tokens, const QString& mailbox) {
    // The mailbox signs in even where USERNAME is NULL: there is no way to send without it.
    client.setAuthentication(mail::SmtpAuthentication::Sasl);
    client.setBearerSignIn(mail::BearerSignIn{mailbox, [&tokens](bool renew) { return tokens.accessToken(renew); }});
}

}  // namespace velocast
