#include "data/watchdog.h"

#include <QCoreApplication>
#include <QEventLoop>

#include "data/db_error.h"
#include "data/notices.h"
#include "data/session.h"

namespace velocast {

Watchdog::Watchdog(Session& session, Notices& notices, QTimer* timer1, QTimer* timer2, QObject* parent)
    : QObject(parent), session_(session), notices_(notices), timer1_(timer1), timer2_(timer2) {
    Timer3.setInterval(1000);
    connect(&Timer3, &QTimer::timeout, this, &Watchdog::Timer3Timer);
}

void Watchdog::showOutageNotice() {
    notices_.MOSTRA_AVISO(QStringLiteral("!"), kContateSuporte,
                          QStringLiteral("Problema no Banco de Dados ou não está Ativo !\n\r"
                                         "Problema na Rede ou não está Ativa !"));
}

void Watchdog::Timer3Timer() {
    if (!Timer3.isActive()) return;
    session_.TBLCONTROLE2.close();
    // Reading the settings opens a connection that was never open (the database was not
    // there at the start): that is a reconnect too.
    const bool wasOpen = session_.connection().isOpen();
    try {
        session_.openSettings();
        if (!wasOpen) emit reconnected();
        return;
    } catch (const DbError&) {
    }
    if (timer1_) timer1_->stop();
    if (timer2_) timer2_->stop();
    Timer3.stop();
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
            Timer3.start();
            if (timer1_) timer1_->start();
            if (timer2_) timer2_->start();
            emit reconnected();
            return;
        } catch (const DbError&) {
            showOutageNotice();
            // Asked to end: the timers stay stopped and the teardown runs once control is
            // back in the main loop.
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
