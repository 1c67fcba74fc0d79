#include "shell/window_mode.h"

#include <QCoreApplication>

#include "notices/notices.h"
#include "outbox/outbox_clearing.h"

namespace velocast {

WindowMode::WindowMode(const QString& dataLinkPath, Notices& notices, const Settings& settings, QObject* parent)
    : QObject(parent), program(dataLinkPath, notices, settings), tray(window), notices_(notices) {
    connect(&program, &Program::hideWindowRequested, &window, &TFRMVelocast::hideAway);
    connect(&program, &Program::iconRequested, &tray, &TrayIcon::add);
    connect(&program, &Program::figureChanged, this, [this](Figure figure, qint32 value) {
        window.showFigure(figure, value);
        tray.showFigure(figure, value);
    });
    connect(&program, &Program::pauseChanged, &tray, [this](const QDateTime& until) { tray.showPausedUntil(until); });
    connect(&program, &Program::standingAsideChanged, this, [this](const QString& text) {
        tray.setStandingAside(text);
        // Said once; the tooltip keeps saying it while it lasts.
        if (!text.isEmpty() && !toldStandingAside_) {
            toldStandingAside_ = true;
            notices_.MOSTRA_AVISO(QStringLiteral("!"), text, QString());
        }
    });
    connect(window.pmnuiLimpa, &QAction::triggered, this, &WindowMode::pmnuiLimpaClick);
    connect(window.pmnuiHistorico, &QAction::triggered, this, &WindowMode::pmnuiHistoricoClick);
    connect(window.pmnuiExit, &QAction::triggered, this, &WindowMode::pmnuiExitClick);
}

void WindowMode::start() {
    program.build();
    // Without a database the daily run could only add a box about the closed connection to
    // the one that said why it did not open; it runs once the watchdog reconnects. The icon
    // comes first all the same: it is how the person ends the program meanwhile.
    if (program.databaseOpen()) program.FormCreate();
    else tray.add();
    window.placeAtCentre();
    window.show();
}

void WindowMode::finish() {
    program.FormDestroy();
    tray.remove();
}

void WindowMode::finishAtOnce() {
    program.tearDownAtOnce();
    tray.remove();
}

void WindowMode::pmnuiLimpaClick() { clearOutbox(program.connection(), notices_); }

void WindowMode::pmnuiHistoricoClick() {
    if (!history_) {
        history_ = new HistoryWindow(program.state());
        history_->setAttribute(Qt::WA_DeleteOnClose);
        // Closing it, like the main window's close, never ends the program.
        history_->setAttribute(Qt::WA_QuitOnClose, false);
    }
    history_->reload();
    history_->show();
    history_->raise();
    history_->activateWindow();
}

void WindowMode::pmnuiExitClick() {
    QCoreApplication::processEvents();
    // exit, not quit: quit first offers every window a close, and this window refuses
    // closes (it only hides), which can cancel the quit.
    QCoreApplication::exit(0);
}

}  // namespace velocast
