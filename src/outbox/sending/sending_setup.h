#pragma once
// What velocast.conf says about sending, handed to the sender: pacing and connection reuse,
// and the club's local state database. The sender itself never reads the settings file.
#include <QString>

#include "outbox/sending/pacing.h"

namespace velocast {

struct Settings;
class StateDatabase;

// [sending] per_minute, per_hour, per_day (a key the file does not set is left to the host's
// defaults) and messages_per_connection.
PacingSettings pacingSettings(const Settings& settings);

// Opens the state database of the club whose data link is `dataLinkPath`: [state] database,
// or a file named from the database's identity in the account's state folder. False with
// `error` saying what to change.
bool openStateDatabase(StateDatabase& state, const Settings& settings, const QString& dataLinkPath, QString* error);

// Drops the send history older than [history] retention_days: it holds members' addresses,
// kept no longer than the club allows. A failure is a warning line; the run goes on. One step
// (a few thousand entries) before each drain keeps a long prune from holding a drain up; a
// listing takes every step first.
enum class PruneSteps { One, All };
void pruneSendHistory(StateDatabase& state, const Settings& settings, PruneSteps steps = PruneSteps::One);

// One line each on standard error for what the drain does without ending the program; the
// club reads them in the journal or the terminal.
void warnPaused(const QString& until, const QString& reason);
void warnGivenUp(const QString& address, const QString& lastReply);
void warnAttachmentUnreadable(const QString& path, const QString& reason);
void warnHistory(const QString& text);

}  // namespace velocast
