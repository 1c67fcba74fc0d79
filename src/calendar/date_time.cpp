#include "calendar/date_time.h"

#include "calendar/clock.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace velocast {
namespace {
const QDate kEpoch(1899, 12, 30);
constexpr std::int64_t kMsPerDay = 86400000;
// Far beyond the years 1 to 9999 on either side, yet small enough to scale to milliseconds.
constexpr double kMaxMagnitude = 1.0e7;

struct Split {
    QDate date;
    int msOfDay;
};

// Rounds to the millisecond, then splits: whole days towards zero, and the time of day
// from the absolute remainder (the host's convention for values before the zero day).
Split split(double days) {
    const auto outside = [days] {
        return std::out_of_range("DateTime: value " + std::to_string(days) + " is outside the years 1 to 9999");
    };
    if (!std::isfinite(days) || std::fabs(days) > kMaxMagnitude) throw outside();
    const std::int64_t total = std::llround(days * static_cast<double>(kMsPerDay));
    const std::int64_t whole = total / kMsPerDay;
    const int ms = static_cast<int>((total < 0 ? -total : total) % kMsPerDay);
    const QDate date = kEpoch.addDays(whole);
    if (date.year() < 1 || date.year() > 9999) throw outside();
    return {date, ms};
}

QString twoDigits(int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); }
QString fourDigits(int n) { return QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0')); }
}  // namespace

DateTime DateTime::fromDate(const QDate& date) {
    if (!date.isValid()) return DateTime();
    return fromDays(static_cast<double>(kEpoch.daysTo(date)));
}

DateTime DateTime::fromQDateTime(const QDateTime& value) {
    if (!value.isValid()) return DateTime();
    const double whole = static_cast<double>(kEpoch.daysTo(value.date()));
    const double fraction = value.time().msecsSinceStartOfDay() / static_cast<double>(kMsPerDay);
    // Before the zero day the fraction is subtracted: the whole part counts backwards.
    return fromDays(whole < 0 ? whole - fraction : whole + fraction);
}

DateTime DateTime::now() { return fromQDateTime(localNow()); }

QDate DateTime::date() const { return split(days_).date; }

QTime DateTime::time() const { return QTime::fromMSecsSinceStartOfDay(split(days_).msOfDay); }

QDateTime DateTime::toQDateTime() const {
    const Split s = split(days_);
    return QDateTime(s.date, QTime::fromMSecsSinceStartOfDay(s.msOfDay));
}

DateTime DateTime::addDays(int count) const {
    const Split s = split(days_);
    const QDate target = s.date.addDays(count);
    if (target.year() < 1 || target.year() > 9999)
        throw std::out_of_range("DateTime::addDays: result is outside the years 1 to 9999");
    return fromQDateTime(QDateTime(target, QTime::fromMSecsSinceStartOfDay(s.msOfDay)));
}

QString DateTime::format(const QString& pattern) const {
    const Split s = split(days_);
    const QDate& d = s.date;
    if (pattern == QLatin1String("DD/MM/YYYY"))
        return twoDigits(d.day()) + u'/' + twoDigits(d.month()) + u'/' + fourDigits(d.year());
    if (pattern == QLatin1String("DD")) return twoDigits(d.day());
    if (pattern == QLatin1String("MM")) return twoDigits(d.month());
    if (pattern == QLatin1String("YYYY")) return fourDigits(d.year());
    if (pattern == QLatin1String("YYYYMM")) return fourDigits(d.year()) + twoDigits(d.month());
    if (pattern == QLatin1String("HHMMSS")) {
        const int seconds = s.msOfDay / 1000;
        return twoDigits(seconds / 3600) + twoDigits(seconds / 60 % 60) + twoDigits(seconds % 60);
    }
    throw std::invalid_argument("DateTime::format: unsupported pattern " + pattern.toStdString());
}

}  // namespace velocast
