#include "calendar/system_local_time.h"

#include <QTimeZone>
#include <ctime>

namespace velocast {

QDateTime systemLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_s(&local, &now);
    // The C runtime has no offset field: reading the local fields back as if they were UTC
    // gives the instant shifted by exactly the offset in force.
    std::tm asUtc = local;
    const auto offset = static_cast<int>(_mkgmtime(&asUtc) - now);
    return QDateTime(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                     QTime(local.tm_hour, local.tm_min, local.tm_sec), QTimeZone(offset));
}

}  // namespace velocast
