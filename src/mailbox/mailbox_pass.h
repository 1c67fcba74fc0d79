#pragma once
// One reading of the club's mailbox: delivery reports about messages sent from here, and the
// members' opt-out requests, each acted on and then moved to the processed folder. Everything
// else in the folder is left exactly as it was (peeked, never flagged, never moved). A pass
// that fails part-way loses nothing: what was recorded is keyed so that reading the same
// message again counts nothing twice, and a message is only moved after its effects are kept.
#include <QDateTime>
#include <QString>
#include <QStringList>

#include "mail/imap/imap_client.h"
#include "outbox/sending/bounce_processing.h"

namespace velocast {

class StateDatabase;

struct MailboxAccount {
    mail::ImapEndpoint endpoint;
    mail::ImapCredentials credentials;
    QString folder = QStringLiteral("INBOX");
    QString processedFolder = QStringLiteral("Velocast/Processados");
    BounceSettings bounces;
    // Where the user name and the password come from, for the line that says what to change:
    // "[mailbox] user" or "Qzcvar2.USERNAME"; "[mailbox] password" ... or "[oauth]".
    QString userSetting = QStringLiteral("[mailbox] user");
    QString passwordSetting = QStringLiteral("[mailbox] password");
};

struct MailboxPassResult {
    bool ok = false;
    // When not ok: one line (after "velocast: warning: ") naming the setting to change.
    QString warning;
    int reports = 0;       // delivery reports about our messages, recorded and moved
    int requests = 0;      // opt-out requests honoured and moved
    int left = 0;          // messages left where they are
    quint64 messages = 0;  // in the folder when it was opened
    // One line per effect, for the log.
    QStringList effects;
};

// Signs in, opens the folder and acts on what it holds. With `checkOnly` it only signs in and
// opens the folder without changing anything (EXAMINE), for --check.
MailboxPassResult readMailbox(const MailboxAccount& account, StateDatabase* state, const QDateTime& now,
                              bool checkOnly = false);

// The line a failure of the IMAP session makes (after "velocast: warning: "), naming the
// setting to change.
QString mailboxFailureLine(const MailboxAccount& account, const mail::ImapError& error);

}  // namespace velocast
