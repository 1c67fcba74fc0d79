#include "outbox/sending/setting_to_fix.h"

#include "mail/oauth/token_error.h"
#include "mail/smtp/smtp_error.h"
#include "outbox/sending/smtp_account.h"

namespace velocast {

using mail::SmtpError;
using mail::SmtpStep;
using mail::TokenError;

std::optional<SettingToFix> settingToFix(const SmtpError& error, const SmtpAccount& account, bool signedInWithToken) {
    // A refused sign-in: only a permanent refusal (5xx). 454 and other 4xx replies say the
    // server cannot check the credentials just now, which may pass.
    if (error.step() == SmtpStep::Auth && error.replyCode() >= 500 && error.replyCode() < 600) {
        if (signedInWithToken)
            return SettingToFix{
                QStringLiteral("the OAuth sign-in (velocast --authorize-smtp)"),
                QStringLiteral("The server refused the OAuth sign-in of \"%1\": check that Qzcvar2.USERNAME is the "
                               "mailbox that was signed in, then sign it in again with velocast --authorize-smtp.")
                    .arg(account.userName)};
        return SettingToFix{
            QStringLiteral("Qzcvar2.USERNAME and Qzcvar2.PASSWORD"),
            QStringLiteral("The server refused the sign-in of \"%1\": change Qzcvar2.USERNAME or Qzcvar2.PASSWORD to "
                           "the mailbox's login (some providers want an app password here), then try it with "
                           "velocast --test-smtp ADDRESS.")
                .arg(account.userName)};
    }
    // A mode name the client does not know was replaced by required STARTTLS; a server that
    // cannot do that needs the mode the club meant to write.
    if (error.step() == SmtpStep::StartTls && !error.certificateRefused() &&
        !tlsModeFromSettingName(account.tlsModeName))
        return SettingToFix{
            QStringLiteral("Qzcvar2.IdSMTP_UseTLS"),
            QStringLiteral("Qzcvar2.IdSMTP_UseTLS \"%1\" is no TLS mode, so STARTTLS was required and the server did "
                           "not give it: write utUseExplicitTLS or utUseRequireTLS (STARTTLS, port 587), "
                           "utUseImplicitTLS (port 465) or utNoTLSSupport (a local relay without TLS).")
                .arg(account.tlsModeName)};
    return std::nullopt;
}

std::optional<SettingToFix> settingToFix(const TokenError& error) {
    // The token errors say themselves what to run or which key to check.
    switch (error.kind()) {
    case TokenError::Kind::Unreachable: return std::nullopt;
    case TokenError::Kind::SignInNeeded:
        return SettingToFix{QStringLiteral("the OAuth sign-in (velocast --authorize-smtp)"), QString()};
    case TokenError::Kind::Refused:
        return SettingToFix{QStringLiteral("the [oauth] section of velocast.conf"), QString()};
    }
    return std::nullopt;
}

QString withAdvice(const QString& failure, const std::optional<SettingToFix>& fix) {
    if (!fix || fix->advice.isEmpty()) return failure;
    return failure + QStringLiteral("\r\n") + fix->advice;
}

}  // namespace velocast
