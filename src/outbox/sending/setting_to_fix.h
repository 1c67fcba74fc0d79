#pragma once
// Refusals that no later attempt can mend: the server refused the club's sign-in, or a TLS
// mode that is no mode fell back to required STARTTLS and the server has none, or the OAuth
// provider refused the stored sign-in. Each names what a person must change, so that the
// notice says it and a --once run ends with the configuration status instead of asking to be
// tried again. A server that is down or throttles is none of these.
#include <QString>
#include <optional>

namespace velocast {

namespace mail {
class SmtpError;
class TokenError;
}  // namespace mail
struct SmtpAccount;

struct SettingToFix {
    // What to change, as the person finds it: "Qzcvar2.USERNAME and Qzcvar2.PASSWORD",
    // "Qzcvar2.IdSMTP_UseTLS", or "the OAuth sign-in (velocast --authorize-smtp)".
    QString setting;
    // One sentence that says what to do; empty when the failure's own text says it already.
    QString advice;
};

// `signedInWithToken`: the client offered an OAuth access token, not the password.
std::optional<SettingToFix> settingToFix(const mail::SmtpError& error, const SmtpAccount& account,
                                         bool signedInWithToken);
std::optional<SettingToFix> settingToFix(const mail::TokenError& error);

// The failure's text followed by the advice, for the notice.
QString withAdvice(const QString& failure, const std::optional<SettingToFix>& fix);

}  // namespace velocast
