#pragma once
// Drives the database watchdog: a check every second, and the program's other timers held
// still while the database is away, started again once it is back.
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

namespace velocast {

class Watchdog;

// How often the watchdog asks whether the database still answers.
inline constexpr std::chrono::milliseconds kWatchdogInterval{1000};

class WatchdogTick : public QObject {
    Q_OBJECT
public:
    // `runOthers(false)` stops the program's other timers at an outage; `runOthers(true)`
    // starts them after the reconnect, whether they ran before or not.
    WatchdogTick(Watchdog& watchdog, std::function<void(bool run)> runOthers, QObject* parent = nullptr);

    void setInterval(std::chrono::milliseconds interval) { Timer3.setInterval(interval); }
    std::chrono::milliseconds interval() const { return Timer3.intervalAsDuration(); }
    void start() { Timer3.start(); }
    void stop() { Timer3.stop(); }
    bool isActive() const { return Timer3.isActive(); }

    void Timer3Timer();

private:
    Watchdog& watchdog_;
    std::function<void(bool)> runOthers_;
    QTimer Timer3;
    bool away_ = false;
};

}  // namespace velocast
