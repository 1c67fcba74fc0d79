#pragma once
// velocast --check: whether everything a run needs is in place, before the service or the
// tray program finds out the hard way. The data link and the database, the settings row, the
// cash-register session, the SMTP account (server, port, TLS mode, user, sender), each switched
// on campaign's subject, text and picture, and a connection to the SMTP server up to EHLO; no
// mail is sent and nothing is written. One line per check, marked ✓ or ✗; a ✗ line names the
// setting or file to change.
#include <QString>
#include <cstdio>

#include "settings/settings.h"

namespace velocast {

// 0 when every check holds, kExitConfiguration (78) otherwise.
int runCheck(const QString& dataLinkPath, const Settings& settings, std::FILE* out = stdout);

}  // namespace velocast
