#include "shell/watchdog_tick.h"

#include "data/watchdog.h"

namespace velocast {

WatchdogTick::WatchdogTick(Watchdog& watchdog, std::function<void(bool run)> runOthers, QObject* parent)
    : QObject(parent), watchdog_(watchdog), runOthers_(std::move(runOthers)) {
    Timer3.setInterval(kWatchdogInterval);
    connect(&Timer3, &QTimer::timeout, this, &WatchdogTick::Timer3Timer);
    connect(&watchdog_, &Watchdog::outage, this, [this] {
        away_ = true;
        runOthers_(false);
        Timer3.stop();
    });
    // A first connection (the database was missing at the start) stopped nothing.
    connect(&watchdog_, &Watchdog::reconnected, this, [this] {
        if (!away_) return;
        away_ = false;
        Timer3.start();
        runOthers_(true);
    });
}

void WatchdogTick::Timer3Timer() {
    if (!Timer3.isActive()) return;
    watchdog_.checkConnection();
}

}  // namespace velocast
