#include "outbox/sending/smtp_session.h"

#include <algorithm>

#include "outbox/sending/oauth_sign_in.h"

namespace velocast {

bool SmtpSession::configure(const SmtpAccount& account, quint64 accountVersion) {
    if (client_.isConnected() && accountVersion_ != accountVersion) end();
    return client_.isConnected() || configureClient(client_, account);
}

void SmtpSession::open(const SmtpAccount& account, quint64 accountVersion, mail::TokenService* tokens) {
    if (client_.isConnected() && !client_.resetForNextMessage()) messages_ = 0;
    if (client_.isConnected()) return;
    if (tokens) {
        // Asked before the server: without a token there is nothing to sign in with.
        tokens->accessToken();
        signInWithTokens(client_, *tokens, account.userName);
    }
    try {
        client_.connect();
    } catch (const mail::SmtpError&) {
        client_.disconnect();
        throw;
    }
    messages_ = 0;
    accountVersion_ = accountVersion;
}

void SmtpSession::messageSent(int messagesPerConnection) {
    if (++messages_ >= std::max(1, messagesPerConnection)) end();
}

void SmtpSession::end() {
    if (client_.isConnected()) client_.disconnect();
    messages_ = 0;
}

}  // namespace velocast
