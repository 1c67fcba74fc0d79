#pragma once
// The tray program: one run of the program shown by its window and its notification-area
// icon, with the menu's commands wired to the run.
#include <QObject>
#include <QPointer>

#include "shell/desktop/history_window.h"
#include "shell/desktop/main_window.h"
#include "shell/program.h"
#include "shell/desktop/tray_icon.h"

namespace velocast {

class Notices;

class WindowMode : public QObject {
    Q_OBJECT
public:
    WindowMode(const QString& dataLinkPath, Notices& notices, const Settings& settings = Settings(),
               QObject* parent = nullptr);
    // The history window reads the program's state: it goes first.
    ~WindowMode() override { delete history_; }

    // Builds the run (connection, hide timer, watchdog), runs the daily run (which adds the
    // icon first), then shows the window at the centre of the screen.
    void start();
    // After the event loop: the teardown, then the icon is taken away last.
    void finish();
    // A termination signal: the teardown where the program stands, the icon taken away.
    void finishAtOnce();

    // "Exclusão de Alunos pendêntes".
    void pmnuiLimpaClick();
    // "Histórico…": the send history's window, read afresh each time it is opened.
    void pmnuiHistoricoClick();
    // "Finalizar": handles what is waiting, then ends the event loop; the teardown follows.
    void pmnuiExitClick();

    TFRMVelocast window;
    Program program;
    TrayIcon tray;

private:
    Notices& notices_;
    QPointer<HistoryWindow> history_;
    bool toldStandingAside_ = false;
};

}  // namespace velocast
