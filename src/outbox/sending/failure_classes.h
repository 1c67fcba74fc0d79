#pragma once
// What the drain does with each kind of failed send, decided in one table, as a mail transfer
// agent decides it: a server that will not take mail stops the drain; a server that asks us to
// slow down pauses it; a recipient that cannot take mail now is tried again later, one that
// never will is removed; a row whose attachment cannot be read waits while the others go.
#include <QString>

#include "mail/smtp/smtp_error.h"

namespace velocast {

enum class FailureClass {
    ServerWide,        // no connection, greeting, TLS or AUTH; 421; 5.7.x; the sender refused
    Throttled,         // a rate or quota limit of the account: pause the drain, keep the rows
    RecipientForNow,   // a temporary refusal of this recipient: defer the row with backoff
    RecipientForGood,  // this recipient will never take it: count invalid, remove the row
    RowContent,        // this row's attachment cannot be read or is refused: defer the row
};

// How long a throttled drain waits: until the next minute, hour or day window.
enum class PauseWindow { Minute, Hour, Day };

struct FailureVerdict {
    FailureClass failureClass = FailureClass::ServerWide;
    PauseWindow window = PauseWindow::Minute;  // for Throttled
};

// The class of a failed SMTP exchange, from its step, reply code, enhanced code and text.
FailureVerdict classifySmtpFailure(const mail::SmtpError& error);

// The server's reply as a person should see it: the reply code, the enhanced status code and
// the text ("550 5.7.1 Relaying denied"), each line without leading blanks; the error's text
// alone when the failure was no refusal by the server (no reply code, or one below 400).
QString fullReply(const mail::SmtpError& error);

// A short name for log lines: "server-wide", "throttled", ...
QString failureClassName(FailureClass failureClass);

}  // namespace velocast
