#pragma once
// The club's SMTP account as the settings table Qzcvar2 stores it. The sender reads it anew
// for every e-mail, so a change made in the host system takes effect on the next one;
// --test-smtp reads it once.
#include "mail/smtp/smtp_account.h"

namespace velocast {

class Dataset;

// Reads the account from the current row of the settings dataset; throws DbError.
mail::SmtpAccount readSmtpAccount(const Dataset& settings);

}  // namespace velocast
