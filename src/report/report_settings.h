#pragma once
// velocast.conf's [report] section checked before anything runs: the club's daily report
// must not go to an address that no server takes, nor be silently off.
#include <QString>

namespace velocast {

struct Settings;

// Empty when the section can be used; otherwise one sentence naming the file and the key (an
// address the address check refuses, an hour without anyone to send to).
QString reportSettingsProblem(const Settings& settings);

}  // namespace velocast
