#pragma once
// velocast.conf's [mailbox] section: whether the club's mailbox is read, how to reach it and
// sign in (the SMTP account's user and password unless the section names others; the OAuth
// token service with [oauth]), and one pass over it with its lines for the log.
#include <QDateTime>
#include <QString>

#include "mail/smtp/tls_policy.h"
#include "mailbox/mailbox_pass.h"

namespace velocast {

namespace mail {
class TokenService;
}
struct Settings;
class SharedConnection;
class StateDatabase;
struct SmtpAccount;

// Whether [mailbox] host switches the reader on.
bool mailboxConfigured(const Settings& settings);

// Empty when the section can be used; otherwise one sentence naming the file and the key
// (keys set without a host, both password and password_file, a password_file that cannot be read).
QString mailboxSettingsProblem(const Settings& settings);

// The account to read with: `smtp` gives the user and password the section leaves unset,
// `tokens` (with [oauth]) the bearer sign-in.
MailboxAccount mailboxAccount(const Settings& settings, const SmtpAccount& smtp, const mail::TlsPolicy& trust,
                              mail::TokenService* tokens);

// One pass: reads the SMTP account from the club's settings row, then the mailbox. Its
// effects go to the log as lines; a failure is one warning line naming what to change.
MailboxPassResult runMailboxPass(const Settings& settings, SharedConnection& connection, mail::TokenService* tokens,
                                 StateDatabase* state, const QDateTime& now);

}  // namespace velocast
