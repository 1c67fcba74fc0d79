#pragma once
// The program's exit statuses, as scripts and service managers see them.
namespace velocast {

enum ExitStatus : int {
    kExitSuccess = 0,
    kExitFailure = 1,  // something failed and was reported; the run ended early or not cleanly
    kExitUsage = 2,    // the command line, velocast.conf or --test-smtp's address was not usable
    // --once: nothing failed, but rows stayed in the outbox because the SMTP server could not
    // be reached, or sending was paused (the provider throttles, or a pacing limit). A later
    // run may succeed (sysexits' EX_TEMPFAIL).
    kExitServerUnreachable = 75,
    // A setting only a person can fix (sysexits' EX_CONFIG): --check found one, or --once kept
    // rows for a port, host name or TLS mode that no retry can make work.
    kExitConfiguration = 78,
};

}  // namespace velocast
