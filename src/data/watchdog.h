#pragma once
// Checks that the database still answers by reopening the settings table (which also picks up
// settings changed by others), and reconnects when it does not. The program's timers are the
// caller's: it calls checkConnection every second and holds its timers still from `outage`
// until `reconnected`.
#include <QObject>
#include <chrono>

namespace velocast {

class Notices;
class Session;

class Watchdog : public QObject {
    Q_OBJECT
public:
    Watchdog(Session& session, Notices& notices, QObject* parent = nullptr);

    // Where nobody dismisses a notice (headless), the reconnect loop waits this long between
    // failed passes instead of spinning. The loop ends early, without `reconnected`, when the
    // program is asked to end.
    std::chrono::milliseconds pauseBetweenPasses{0};

    // One check; on an outage the notice, then the reconnect loop, before it returns.
    void checkConnection();
    void ReSetBanco();

    // Passes of the reconnect loop run so far (for the figures of a long outage).
    int reconnectPasses() const { return passes_; }

signals:
    // The database stopped answering; the reconnect loop begins.
    void outage();
    // The connection is open again: after an outage, or for the first time (the database was
    // not there at the start).
    void reconnected();

private:
    void showOutageNotice();
    // False when the program was asked to end while (or before) waiting.
    bool waitBeforeNextPass();

    Session& session_;
    Notices& notices_;
    int passes_ = 0;
};

}  // namespace velocast
