#include "calendar/date_time.h"

#include <cmath>
#include <stdexcept>

namespace velocast {
namespace {
const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;
}  // namespace

DateTime DateTime::fromDate(const QDate& date) {
    return fromDays(static_cast<double>(kEpoch.daysTo(date)));
}

DateTime DateTime::fromQDateTime(const QDateTime& value) {
    const double whole = static_cast<double>(kEpoch.daysTo(value.date()));
    const double fraction = value.time().msecsSinceStartOfDay() / kMsPerDay;
    return fromDays(whole + fraction);
}

DateTime DateTime::now() { return fromQDateTime(QDateTime::currentDateTime()); }

QDate DateTime::date() const { return kEpoch.addDays(static_cast<qint64>(std::floor(days_))); }

QTime DateTime::time() const {
    const double fraction = days_ - std::floor(days_);
    const int ms = static_cast<int>(std::llround(fraction * kMsPerDay));
    return QTime(0, 0).addMSecs(std::min(ms, 86399999));
}

QDateTime DateTime::toQDateTime() const { return QDateTime(date(), time()); }

QString DateTime::format(const QString& pattern) const {
    const QDate d = date();
    if (pattern == QLatin1String("DD/MM/YYYY")) return d.toString(QStringLiteral("dd/MM/yyyy"));
    if (pattern == QLatin1String("DD")) return d.toString(QStringLiteral("dd"));
    if (pattern == QLatin1String("MM")) return d.toString(QStringLiteral("MM"));
    if (pattern == QLatin1String("YYYY")) return d.toString(QStringLiteral("yyyy"));
    if (pattern == QLatin1String("YYYYMM")) return d.toString(QStringLiteral("yyyyMM"));
    if (pattern == QLatin1String("HHMMSS")) return time().toString(QStringLiteral("HHmmss"));
    throw std::invalid_argument("DateTime::format: unsupported pattern " + pattern.toStdString());
}

}  // namespace velocast
