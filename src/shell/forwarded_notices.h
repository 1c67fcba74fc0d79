#pragma once
// Notices raised on the run's own thread, shown by the desktop's notices on the desktop's
// thread. The caller waits as it would for a box of its own: its thread's timers and events
// go on meanwhile, and a request to end its thread's event loops ends the wait.
#include <QObject>
#include <atomic>
#include <functional>

#include "notices/notices.h"

namespace velocast {

class ForwardedNotices : public Notices {
public:
    // `shown` are shown on the thread of `desktop`, which must outlive every notice.
    ForwardedNotices(Notices& shown, QObject& desktop) : shown_(shown), desktop_(&desktop) {}

    void MOSTRA_AVISO(const QString& kind, const QString& text, const QString& detail) override;
    void reportError(const QString& errorText) override;
    // From now on one line each on standard error: the desktop is ending and nobody may be
    // there to dismiss a box. Safe from any thread.
    void toStandardError() { ending_.store(true); }

private:
    void show(std::function<void(Notices&)> box);

    Notices& shown_;
    QObject* desktop_;
    std::atomic<bool> ending_{false};
    StderrNotices lines_;
};

}  // namespace velocast
