#include "calendar/clock.h"

#include "calendar/system_local_time.h"

namespace velocast {

namespace {

std::function<QDateTime()>& source() {
    static std::function<QDateTime()> now = systemLocalTime;
    return now;
}

}  // namespace

QDateTime localNow() { return source()(); }

ScopedClock::ScopedClock(std::function<QDateTime()> now) : previous_(std::move(source())) { source() = std::move(now); }

ScopedClock::~ScopedClock() { source() = std::move(previous_); }

}  // namespace velocast
