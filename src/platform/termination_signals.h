#pragma once
// A service manager stops the program with SIGTERM, a logout with SIGHUP, a person at a
// terminal with Ctrl+C. Any of them must end the program at once, whatever it is doing (a
// notice open, a drain between two rows, the window shown), with the teardown done, so that
// nobody has to escalate to SIGKILL.
#include <QObject>
#include <functional>

namespace velocast {

// Catches SIGTERM, SIGINT and SIGHUP from the first instant; a signal that comes before
// onTerminationSignals is kept until then.
void catchTerminationSignals();

// `end` runs on the program's thread at the next turn of whichever event loop is running (the
// main one, or the nested loop of a notice or a drain) and must not return to it: it ends the
// process. Inside a wait for the SMTP server it runs from that wait, at once.
// `end` is given the signal's number.
void onTerminationSignals(QObject* owner, std::function<void(int signal)> end);

}  // namespace velocast
