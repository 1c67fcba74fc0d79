#pragma once
// Checks every second that the database still answers by reopening the settings table (which
// also picks up settings changed by others), and reconnects when it does not.
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>

namespace velocast {

class Notices;
class Session;

class Watchdog : public QObject {
    Q_OBJECT
public:
    // timer1 (the window's hide timer) and timer2 (the send timer) are stopped while the
    // database is away and started again after the reconnect; either may be null.
    Watchdog(Session& session, Notices& notices, QTimer* timer1, QTimer* timer2,
             QObject* parent = nullptr);

    QTimer Timer3;

    // Where nobody dismisses a notice (headless), the reconnect loop waits this long between
    // failed passes instead of spinning. The loop ends early, leaving the timers stopped,
    // when the program is asked to end.
    std::chrono::milliseconds pauseBetweenPasses{0};

    void Timer3Timer();
    void ReSetBanco();

    // Passes of the reconnect loop run so far (for the figures of a long outage).
    int reconnectPasses() const { return passes_; }

signals:
    // The connection was lost and is back (the timers run again).
    void reconnected();

private:
    void showOutageNotice();
    // False when the program was asked to end while (or before) waiting.
    bool waitBeforeNextPass();

    Session& session_;
    Notices& notices_;
    QPointer<QTimer> timer1_;
    QPointer<QTimer> timer2_;
    int passes_ = 0;
};

}  // namespace velocast
