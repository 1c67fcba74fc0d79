#include "shell/program_thread.h"

#include <QSemaphore>
#include <QThread>
#include <atomic>
#include <future>

#include "platform/wait_interruption.h"
#include "shell/forwarded_notices.h"
#include "shell/program.h"
#include "platform/wake_latch.h"

namespace velocast {

class ProgramThread::Worker : public QThread {
public:
    Worker(const QString& dataLinkPath, Notices& notices, const Settings& settings, QObject& desktop)
        : notices(notices, desktop), dataLinkPath_(dataLinkPath), settings_(&settings) {}

    ForwardedNotices notices;
    Program* program = nullptr;
    QSemaphore built;
    QSemaphore done;  // the teardown ran, here or in a wait that was cut short
    WakeLatch latch;  // set once the program ends; every wait for a server watches it
    std::atomic<bool> stopping{false};
    std::atomic<bool> parked{false};
    // Set before `stopping`.
    std::function<void(Program&)> teardown;
    std::function<void(Program&)> atOnce;

protected:
    void run() override {
        interruptWaitsWhenReadable(latch.valid() ? latch.descriptor() : -1, [this] { cutShort(); });
        auto owned = std::make_unique<Program>(dataLinkPath_, notices, *settings_);
        settings_ = nullptr;  // Program keeps its own copy
        // A drain asks before every row whether it may go on: not once the program ends.
        owned->sender().mayDrain = [this, mayDrain = owned->sender().mayDrain] {
            return !stopping.load(std::memory_order_acquire) && (!mayDrain || mayDrain());
        };
        program = owned.get();
        built.release();
        exec();
        if (stopping.load(std::memory_order_acquire) && teardown) teardown(*program);
        owned.reset();  // its connections close on the thread that opened them
        done.release();
    }

private:
    // A wait for a server saw the latch: the row in hand is rolled back where it stands (it
    // stays in the outbox) and this thread goes no further; the desktop's thread ends the
    // process.
    void cutShort() {
        if (!stopping.load(std::memory_order_acquire)) return;
        if (atOnce) atOnce(*program);
        parked = true;
        done.release();
        std::promise<void>().get_future().wait();
    }

    QString dataLinkPath_;
    const Settings* settings_;
};

ProgramThread::ProgramThread(Where where, const QString& dataLinkPath, Notices& notices, const Settings& settings,
                             QObject& desktop) {
    if (where == Where::CallersThread) {
        ownedHere_ = std::make_unique<Program>(dataLinkPath, notices, settings);
        program_ = ownedHere_.get();
        return;
    }
    worker_ = std::make_unique<Worker>(dataLinkPath, notices, settings, desktop);
    worker_->setObjectName(QStringLiteral("velocast-run"));
    worker_->start();
    worker_->built.acquire();
    program_ = worker_->program;
}

ProgramThread::~ProgramThread() {
    if (!stopped_) stop(nullptr, nullptr);
    // A thread parked in a wait, or held by the database, cannot be joined; the process ends
    // without it (destroying a running thread would abort).
    if (worker_ && !worker_->isFinished()) (void)worker_.release();
}

bool ProgramThread::ownThread() const { return worker_ != nullptr; }

void ProgramThread::post(std::function<void(Program&)> work) {
    if (!worker_) {
        work(*program_);
        return;
    }
    QMetaObject::invokeMethod(
        program_, [program = program_, work = std::move(work)] { work(*program); }, Qt::QueuedConnection);
}

bool ProgramThread::stop(const std::function<void(Program&)>& teardown, const std::function<void(Program&)>& atOnce) {
    if (stopped_) return !worker_ || worker_->isFinished();
    stopped_ = true;
    if (!worker_) {
        if (teardown) teardown(*program_);
        return true;
    }
    worker_->teardown = teardown;
    worker_->atOnce = atOnce;
    // Nobody may be there to dismiss a box once the desktop is ending.
    worker_->notices.toStandardError();
    worker_->stopping.store(true, std::memory_order_release);
    worker_->latch.set();
    worker_->quit();  // every event loop of the thread (a notice's, a reconnect pause) ends
    if (!worker_->done.tryAcquire(1, int(kEndBound.count())) || worker_->parked) return false;
    worker_->wait();
    return true;
}

}  // namespace velocast
