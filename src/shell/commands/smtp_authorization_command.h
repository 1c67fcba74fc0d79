#pragma once
// velocast --authorize-smtp: the one-time OAuth 2.0 sign-in of the club's mailbox, from a
// terminal. It prints an address and a code; a person opens the address on any device,
// enters the code and signs in as the mailbox; the refresh token that comes back is stored in
// the club's token file, from which every later run gets its access tokens unattended.
#include <QString>
#include <cstdio>
#include <functional>

namespace velocast {

struct Settings;

// Returns the exit status: 0 when the sign-in is stored; 1 when it failed; 78 when
// velocast.conf has no usable [oauth] section. `wait` pauses between polls.
int runSmtpAuthorization(const QString& dataLinkPath, const Settings& settings, std::FILE* out = stdout,
                         std::FILE* err = stderr, std::function<void(int seconds)> wait = {});

}  // namespace velocast
