#include "calendar/clock.h"

#include <QTimeZone>
#include <ctime>

namespace velocast {

namespace {

// The C library's local time rather than Qt's: its offset is the one the system's time zone
// settings give for this moment, which is what a Date header must carry.
QDateTime systemNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return QDateTime(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                     QTime(local.tm_hour, local.tm_min, local.tm_sec),
                     QTimeZone(static_cast<int>(local.tm_gmtoff)));
}

std::function<QDateTime()>& source() {
    static std::function<QDateTime()> now = systemNow;
    return now;
}

}  // namespace

QDateTime localNow() { return source()(); }

ScopedClock::ScopedClock(std::function<QDateTime()> now) : previous_(std::move(source())) {
    source() = std::move(now);
}

ScopedClock::~ScopedClock() { source() = std::move(previous_); }

}  // namespace velocast
