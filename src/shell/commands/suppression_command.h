#pragma once
// velocast --suppressed and --unsuppress: the addresses the club's e-mails no longer go to
// (gone, or opted out), and taking one out once the member's record is fixed.
#include <QString>
#include <cstdio>

namespace velocast {

struct Settings;

// Lists the suppression list, newest first: address, scope, reason, date, source. 0 listed
// (also when empty); 1 the list could not be read (said on `err`).
int runSuppressed(const QString& dataLinkPath, bool csv, const Settings& settings, std::FILE* out = stdout,
                  std::FILE* err = stderr);

// Takes `address` off the list (every scope). 0 taken out; 1 it was not on the list or the
// list could not be written (said on `err`).
int runUnsuppress(const QString& dataLinkPath, const QString& address, const Settings& settings,
                  std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace velocast
