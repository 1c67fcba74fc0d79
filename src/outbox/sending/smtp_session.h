#pragma once
// The SMTP session the drain sends on: configured from the club's account, opened when a row
// needs it (signed in with the OAuth tokens where they are set up), reset with RSET between
// messages, and ended when it has carried its share of messages or the account changed.
#include <QtGlobal>

#include "mail/oauth/token_service.h"
#include "mail/smtp/smtp_client.h"
#include "outbox/sending/smtp_account.h"

namespace velocast {

class SmtpSession {
public:
    explicit SmtpSession(mail::SmtpClient& client) : client_(client) {}

    // Before a row: a session opened with an older reading of the account ends (a change in
    // the settings row takes effect on a new session), and a client without a session takes
    // the account's settings. False when the account's port cannot be read.
    bool configure(const SmtpAccount& account, quint64 accountVersion);
    // Before a message: RSET on the session still open; when there is none, or the server no
    // longer takes it, sign in with `tokens` where set, and connect. Throws TokenError before
    // the server is asked when there is no token, and SmtpError with the client closed.
    void open(const SmtpAccount& account, quint64 accountVersion, mail::TokenService* tokens);
    // A message went: the session ends once it has carried `messagesPerConnection` of them.
    void messageSent(int messagesPerConnection);
    // QUIT when open.
    void end();
    bool isOpen() const { return client_.isConnected(); }

private:
    mail::SmtpClient& client_;
    int messages_ = 0;
    quint64 accountVersion_ = 0;
};

}  // namespace velocast
