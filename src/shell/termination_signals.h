#pragma once
// A service manager stops the program with SIGTERM, a person at a terminal with Ctrl+C: both
// end it like "Finalizar" does, through the event loop, so the teardown still drops the run
// table and no outbox row is left half done.
#include <QObject>

namespace velocast {

// Installs handlers for SIGTERM, SIGINT and SIGHUP that quit the application's event loop.
void quitOnTerminationSignals(QObject* owner);

}  // namespace velocast
