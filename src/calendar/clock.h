#pragma once
// The program's one clock. Everything that needs "now" (the Date header of a message, the
// name of the run table) asks localNow(), so a test fixes time in one place and the program
// reads the system's.
#include <QDateTime>
#include <functional>

namespace velocast {

// The local time now, with its offset from UTC (daylight saving included).
QDateTime localNow();

// Replaces the clock for as long as it lives; the clock in use before comes back after.
// For tests: the program itself never replaces it.
class ScopedClock {
public:
    explicit ScopedClock(std::function<QDateTime()> now);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    std::function<QDateTime()> previous_;
};

}  // namespace velocast
