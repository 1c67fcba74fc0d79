#pragma once
// How fast the drain may send: the provider's limits per minute, hour and day, counted over
// the messages the state database remembers (so a restart does not reset the day), and how
// long a row whose recipient failed for now waits before its next attempt.
#include <QDateTime>
#include <QString>
#include <optional>

#include "outbox/sending/failure_classes.h"

namespace velocast {

class StateDatabase;

// What velocast.conf says; a limit it does not set is nothing (the host's default applies).
struct PacingSettings {
    std::optional<int> perMinute, perHour, perDay;
    int messagesPerConnection = 1;
};

// The limits in force; 0 is no limit.
struct PacingLimits {
    int perMinute = 0, perHour = 0, perDay = 0;
};

// The settings' limits, each one the file does not set taken from the provider's published
// limits for `host` (Microsoft 365, Gmail), none for any other host.
PacingLimits pacingLimitsFor(const PacingSettings& settings, const QString& host);

struct PacingPause {
    QDateTime until;
    QString reason;  // names the limit and its key, e.g. "30 messages a minute ([sending] per_minute)"
};

// When the next message would break a limit: until when to wait. Nothing when it may go now.
std::optional<PacingPause> pacingPause(const StateDatabase& state, const PacingLimits& limits, const QDateTime& now);

// The next local midnight after `now`: when a daily quota opens again.
QDateTime startOfNextDay(const QDateTime& now);
// When a pause for a throttling reply ends: a minute, an hour, or the next day from `now`.
QDateTime windowEnd(PauseWindow window, const QDateTime& now);

// Backoff for a row deferred for the `attempts`-th time (from 1): 5, 15, 30, 60 minutes,
// then every hour.
QDateTime nextTryAfter(int attempts, const QDateTime& now);
// A row deferred this long since its first attempt is given up.
constexpr int kGiveUpAfterDays = 3;

}  // namespace velocast
