#include "shell/forwarded_notices.h"

#include <QEventLoop>
#include <QMutex>
#include <QThread>
#include <memory>

namespace velocast {

namespace {

// What the two threads share about one notice: the caller's wait, while it lasts.
struct OpenNotice {
    QMutex mutex;
    QEventLoop* wait = nullptr;  // cleared by the caller before its wait goes away
    bool closed = false;
};

}  // namespace

void ForwardedNotices::MOSTRA_AVISO(const QString& kind, const QString& text, const QString& detail) {
    show([kind, text, detail](Notices& notices) { notices.MOSTRA_AVISO(kind, text, detail); });
}

void ForwardedNotices::reportError(const QString& errorText) {
    show([errorText](Notices& notices) { notices.reportError(errorText); });
}

void ForwardedNotices::show(std::function<void(Notices&)> box) {
    if (ending_.load()) {
        box(lines_);
        return;
    }
    if (!desktop_ || desktop_->thread() == QThread::currentThread()) {
        box(shown_);
        return;
    }
    auto notice = std::make_shared<OpenNotice>();
    QEventLoop wait;
    notice->wait = &wait;
    QMetaObject::invokeMethod(
        desktop_,
        [box = std::move(box), notice, &shown = shown_] {
            box(shown);
            const QMutexLocker lock(&notice->mutex);
            notice->closed = true;
            if (notice->wait) QMetaObject::invokeMethod(notice->wait, &QEventLoop::quit, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    {
        const QMutexLocker lock(&notice->mutex);
        if (notice->closed) {
            notice->wait = nullptr;
            return;
        }
    }
    // Returns at once when this thread was asked to end its loops: the program is ending and
    // the box may never be answered.
    wait.exec();
    const QMutexLocker lock(&notice->mutex);
    notice->wait = nullptr;
}

}  // namespace velocast
