#include "calendar/system_local_time.h"

#include <QTimeZone>
#include <ctime>

namespace velocast {

QDateTime systemLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return QDateTime(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                     QTime(local.tm_hour, local.tm_min, local.tm_sec), QTimeZone(static_cast<int>(local.tm_gmtoff)));
}

}  // namespace velocast
