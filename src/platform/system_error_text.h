#pragma once
// The system's own words for an error code, as a person reads them in a notice: errno on
// POSIX systems, GetLastError and WSAGetLastError codes on Windows.
#include <QString>

namespace velocast {

// The text of `code`; "system error N" when the system has none.
QString systemErrorText(unsigned long code);

}  // namespace velocast
