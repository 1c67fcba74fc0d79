#pragma once
// The one line the window and the tray's tooltip show while rows wait for a mail server that
// cannot be reached: which server, since when, and the next try.
#include <QDateTime>
#include <QString>

#include "outbox/sending/server_outage.h"

namespace velocast {

// "SMTP server smtp.example.com:587 unreachable since 14:02; next try 14:07:35"; a day
// other than `now`'s is written out. Empty when there is no outage.
QString outageLine(const ServerOutage& outage, const QDateTime& now);

}  // namespace velocast
