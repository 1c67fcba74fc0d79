#include "outbox/sending/pacing.h"

#include <QTimeZone>
#include <algorithm>

#include "state/state_database.h"

namespace velocast {

PacingLimits pacingLimitsFor(const PacingSettings& settings, const QString& host) {
    // The providers' own published limits per mailbox; a club with a higher plan sets its own.
    PacingLimits defaults;
    const QString h = host.trimmed().toLower();
    if (h == QLatin1String("smtp.office365.com")) defaults = {30, 0, 10000};
    else if (h == QLatin1String("smtp.gmail.com")) defaults = {20, 0, 2000};
    return {settings.perMinute.value_or(defaults.perMinute), settings.perHour.value_or(defaults.perHour),
            settings.perDay.value_or(defaults.perDay)};
}

QDateTime startOfNextDay(const QDateTime& now) { return QDateTime(now.date().addDays(1), QTime(0, 0), now.timeZone()); }

std::optional<PacingPause> pacingPause(const StateDatabase& state, const PacingLimits& limits, const QDateTime& now) {
    std::optional<PacingPause> pause;
    const auto longest = [&](const QDateTime& until, const QString& reason) {
        if (until > now && (!pause || until > pause->until)) pause = PacingPause{until, reason};
    };
    // A rolling window: the message that would be one too many waits until the oldest of the
    // last `limit` messages has left the window.
    const auto rolling = [&](int limit, int windowSeconds, const char* per, const char* key) {
        if (limit <= 0 || state.sentSince(now.addSecs(-windowSeconds)) < limit) return;
        longest(
            state.nthLastSent(limit).addSecs(windowSeconds),
            QStringLiteral("%1 messages a %2 ([sending] %3)").arg(limit).arg(QLatin1String(per), QLatin1String(key)));
    };
    rolling(limits.perMinute, 60, "minute", "per_minute");
    rolling(limits.perHour, 3600, "hour", "per_hour");
    // The day is the calendar day: its count is what the state database keeps across restarts.
    if (limits.perDay > 0 && state.sentSince(QDateTime(now.date(), QTime(0, 0), now.timeZone())) >= limits.perDay)
        longest(startOfNextDay(now), QStringLiteral("%1 messages a day ([sending] per_day)").arg(limits.perDay));
    return pause;
}

QDateTime windowEnd(PauseWindow window, const QDateTime& now) {
    switch (window) {
    case PauseWindow::Day: return startOfNextDay(now);
    case PauseWindow::Hour: return now.addSecs(3600);
    case PauseWindow::Minute: break;
    }
    return now.addSecs(60);
}

QDateTime nextTryAfter(int attempts, const QDateTime& now) {
    static constexpr int kMinutes[] = {5, 15, 30, 60};
    const int index = std::clamp(attempts, 1, static_cast<int>(std::size(kMinutes))) - 1;
    return now.addSecs(60LL * kMinutes[index]);
}

}  // namespace velocast
