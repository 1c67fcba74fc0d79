#pragma once
// The program's clock, held still for a test: it reads `now` until the test moves it. The time
// of day names a session's run table, so a test that opens another session on the same
// database moves the clock on first, as a second workstation a moment later would.
#include <QDateTime>

#include "calendar/clock.h"

namespace velocast::testing {

class TestClock {
public:
    explicit TestClock(QDateTime now) : now_(std::move(now)) {}

    const QDateTime& now() const { return now_; }
    void set(const QDateTime& now) { now_ = now; }
    void advance(int seconds = 1) { now_ = now_.addSecs(seconds); }

private:
    QDateTime now_;
    ScopedClock installed_{[this] { return now_; }};
};

}  // namespace velocast::testing
