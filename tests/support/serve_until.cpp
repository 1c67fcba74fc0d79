#include "support/serve_until.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace velocast::testing {

bool serveUntil(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace velocast::testing
