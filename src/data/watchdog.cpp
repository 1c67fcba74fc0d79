#include "data/watchdog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "data/db_error.h"
#include "notices/notices.h"
#include "data/session.h"

namespace velocast {

Watchdog::Watchdog(Session& session, Notices& notices, QObject* parent)
    : QObject(parent), session_(session), notices_(notices) {}

void Watchdog::showOutageNotice() {
    notices_.MOSTRA_AVISO(QStringLiteral("!"), kContateSuporte,
                          QStringLiteral("Problema no Banco de Dados ou não está Ativo !\n\r"
                                         "Problema na Rede ou não está Ativa !"));
}

void Watchdog::checkConnection() {
    session_.TBLCONTROLE2.close();
    // Reading the settings opens a connection that was never open (the database was not
    // there at the start): that is a reconnect too.
    const bool wasOpen = session_.connection().isOpen();
    try {
        session_.openSettings();
        if (!wasOpen) emit reconnected();
        return;
    } catch (const DbError&) {}
    emit outage();
    showOutageNotice();
    ReSetBanco();
    QCoreApplication::processEvents();
}

void Watchdog::ReSetBanco() {
    SharedConnection& connection = session_.connection();
    for (;;) {
        ++passes_;
        try {
            connection.close();
            connection.open();  // reads the data-link file again
            emit reconnected();
            return;
        } catch (const DbError&) {
            showOutageNotice();
            // Asked to end: no reconnect is told, so the timers stay stopped, and the
            // teardown runs once control is back in the main loop.
            if (!waitBeforeNextPass()) return;
        }
    }
}

bool Watchdog::waitBeforeNextPass() {
    // The wait runs in an event loop of its own, so events other than the stopped timers
    // still run. A quit request ends every event loop of the thread, and one started after
    // it returns at once: that is how a quit shows here. Without this check the loop would
    // pass again without pause (a notice box returns at once too) and never let the program end.
    constexpr int kPassDue = 0x7e57;  // a code no end request of the program uses
    QEventLoop pause;
    QTimer::singleShot(pauseBetweenPasses, &pause, [&pause] { pause.exit(kPassDue); });
    return pause.exec() == kPassDue;
}

}  // namespace velocast
