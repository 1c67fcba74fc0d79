#pragma once
// The default error report: an error that escapes an event handler is shown and abandons
// that event only; the program goes on.
#include <exception>

#include "data/db_error.h"
#include "notices/notices.h"

namespace velocast {

template <typename Handler>
bool withErrorReport(Notices& notices, Handler&& handler) {
    try {
        handler();
        return true;
    } catch (const DbError& e) {
        notices.reportError(e.message());
    } catch (const std::exception& e) {
        notices.reportError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

}  // namespace velocast
