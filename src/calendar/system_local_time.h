#pragma once
// The C library's local time rather than Qt's: its offset is the one the system's time zone
// settings give for this moment, which is what a Date header must carry.
#include <QDateTime>

namespace velocast {

QDateTime systemLocalTime();

}  // namespace velocast
