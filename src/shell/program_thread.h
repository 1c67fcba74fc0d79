#pragma once
// Where the run's work happens. On a desktop the database and the mail servers are waited for
// on a thread of their own, so that the window repaints, the tray menu opens and "Finalizar"
// ends the program while a server keeps the run waiting. The run reaches the desktop only
// through queued signals and forwarded notices; the desktop reaches the run by posting work
// to its thread. The run's connections (the club's database, the state database) are opened,
// used and closed on that thread only.
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class QObject;

namespace velocast {

struct Settings;
class Notices;
class Program;

// How long an end waits for the run's thread to tear down before the process ends anyway:
// a database call cannot be cut short, and an uncommitted row stays in the outbox either way.
inline constexpr std::chrono::milliseconds kEndBound{1500};

class ProgramThread {
public:
    enum class Where {
        OwnThread,      // the program's
        CallersThread,  // the run stays on the caller's thread (tests that step it)
    };
    // Builds the run on its thread and waits until it is built. `notices` and `desktop` live
    // on the caller's thread; notices of the run are shown there.
    ProgramThread(Where where, const QString& dataLinkPath, Notices& notices, const Settings& settings,
                  QObject& desktop);
    // Ends the run as stop() does, unless that was done.
    ~ProgramThread();
    ProgramThread(const ProgramThread&) = delete;
    ProgramThread& operator=(const ProgramThread&) = delete;

    Program& program() { return *program_; }
    bool ownThread() const;

    // Runs `work` on the run's thread at its next turn of an event loop (at once on the
    // caller's thread).
    void post(std::function<void(Program&)> work);

    // Ends the run: a wait for a server is cut short, then on the run's thread `teardown` runs
    // once the run is back in its event loop, or `atOnce` runs inside the wait that was cut
    // short (and that thread never goes on). True when the thread ended; false when it was
    // parked in a wait or did not come back within kEndBound: the process must then end
    // without returning to anything that could touch the run.
    bool stop(const std::function<void(Program&)>& teardown, const std::function<void(Program&)>& atOnce);

private:
    class Worker;
    std::unique_ptr<Worker> worker_;  // only with OwnThread
    std::unique_ptr<Program> ownedHere_;
    Program* program_ = nullptr;
    bool stopped_ = false;
};

}  // namespace velocast
