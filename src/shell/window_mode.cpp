#include "shell/window_mode.h"

#include <QCoreApplication>

#include "calendar/clock.h"
#include "notices/notices.h"
#include "shell/desktop/outage_line.h"

namespace velocast {

WindowMode::WindowMode(const QString& dataLinkPath, Notices& notices, const Settings& settings,
                       ProgramThread::Where where, QObject* parent)
    : QObject(parent),
      run_(where, dataLinkPath, notices, settings, *this),
      program(run_.program()),
      tray(window),
      notices_(notices) {
    // The run's signals come from its own thread: they are queued to this one.
    connect(&program, &Program::stateDatabaseOpened, this, [this](const QString& path) { statePath_ = path; });
    connect(&program, &Program::hideWindowRequested, &window, &TFRMVelocast::hideAway);
    connect(&program, &Program::iconRequested, &tray, &TrayIcon::add);
    connect(&program, &Program::figureChanged, this, [this](Figure figure, qint32 value) {
        window.showFigure(figure, value);
        tray.showFigure(figure, value);
    });
    connect(&program, &Program::serverOutageChanged, this, [this](const ServerOutage& outage) {
        const QString line = outageLine(outage, localNow());
        window.showOutage(line, outage.reason);
        tray.setOutage(line);
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
    // The icon first: the run may wait long for its database, and the icon is how the person
    // ends the program meanwhile. The run counts the outbox as soon as its database opens.
    tray.add();
    run_.post([](Program& run) { run.start(); });
    window.placeAtCentre();
    window.show();
}

bool WindowMode::finish() {
    const bool ended = run_.stop([](Program& run) { run.FormDestroy(); }, [](Program& run) { run.tearDownAtOnce(); });
    tray.remove();
    return ended;
}

bool WindowMode::finishAtOnce() {
    const auto atOnce = [](Program& run) { run.tearDownAtOnce(); };
    const bool ended = run_.stop(atOnce, atOnce);
    tray.remove();
    return ended;
}

// On the run's thread: between two rows when a drain is walking the outbox.
void WindowMode::pmnuiLimpaClick() {
    // What waits now is known: the figure need not wait for the next drain.
    run_.post([](Program& run) {
        if (run.clearOutbox()) run.countPending();
    });
}

void WindowMode::pmnuiHistoricoClick() {
    if (!history_) {
        // Its own connection to the run's state file: the run's belongs to the run's thread,
        // and the window must open while the run waits for a server.
        if (!historyState_.isOpen() && !statePath_.isEmpty()) {
            QString error;
            if (!historyState_.open(statePath_, &error)) notices_.reportError(error);
        }
        history_ = new HistoryWindow(historyState_);
        history_->setAttribute(Qt::WA_DeleteOnClose);
        // Closing it, like the main window's close, never ends the program.
        history_->setAttribute(Qt::WA_QuitOnClose, false);
        connect(&program, &Program::historyRecorded, history_, &HistoryWindow::historyChanged);
    }
    history_->show();
    history_->reload();  // shown first: the columns are fitted to the window's real width
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
