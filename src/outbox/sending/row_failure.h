#pragma once
// What a failed exchange does to the row that was being sent, decided from its failure class
// in this one place: the drain only carries the decision out.
#include "mail/smtp/smtp_error.h"
#include "outbox/sending/failure_classes.h"

namespace velocast {

enum class RowFate {
    StopDrain,        // only a person can mend it: the notice, and the program ends; the row stays
    Pause,            // the server throttles: this row and the others wait for its window
    KeepForServer,    // the session could not be opened: the row stays for a later drain
    RemoveAsInvalid,  // the recipient will never take mail: counted invalid, the row removed
    Defer,            // this row fails for now: tried again later, with backoff
};

struct RowFailure {
    RowFate fate = RowFate::StopDrain;
    FailureVerdict verdict;
};

// `error` was raised while the session opened (stage Connecting: nothing offered yet) or
// while the message was offered on it.
RowFailure rowFailureOf(const mail::SmtpError& error);

}  // namespace velocast
