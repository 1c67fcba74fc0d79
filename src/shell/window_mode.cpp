#include "shell/window_mode.h"

#include <QCoreApplication>

#include "outbox/outbox_clearing.h"

namespace velocast {

WindowMode::WindowMode(const QString& dataLinkPath, Notices& notices, const LocalSettings& settings, QObject* parent)
    : QObject(parent), program(dataLinkPath, notices, settings), tray(window), notices_(notices) {
    program.hideWindow = [this] { window.hideAway(); };
    program.registerIcon = [this] { tray.add(); };
    program.showFigure = [this](Figure figure, qint32 value) {
        const QString label = figureLabel(figure);
        window.showFigure(label, value);
        tray.showFigure(label, value);
    };
    program.pauseChanged = [this](const QDateTime& until, const QString&) { tray.showPausedUntil(until); };
    connect(window.pmnuiLimpa, &QAction::triggered, this, &WindowMode::pmnuiLimpaClick);
    connect(window.pmnuiExit, &QAction::triggered, this, &WindowMode::pmnuiExitClick);
}

void WindowMode::start() {
    program.build();
    program.FormCreate();
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

void WindowMode::pmnuiLimpaClick() { clearOutbox(program.connection, notices_); }

void WindowMode::pmnuiExitClick() {
    QCoreApplication::processEvents();
    // exit, not quit: quit first offers every window a close, and this window refuses
    // closes (it only hides), which can cancel the quit.
    QCoreApplication::exit(0);
}

}  // namespace velocast
