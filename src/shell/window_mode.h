#pragma once
// The tray program: one run of the program shown by its window and its notification-area
// icon, with the menu's commands wired to the run.
#include <QObject>
#include <QPointer>

#include "shell/desktop/history_window.h"
#include "shell/desktop/main_window.h"
#include "shell/program.h"
#include "shell/program_thread.h"
#include "shell/desktop/tray_icon.h"

namespace velocast {

class Notices;

class WindowMode : public QObject {
    Q_OBJECT
public:
    // The run works on a thread of its own (the program) or on the caller's (tests that step
    // the run by hand).
    WindowMode(const QString& dataLinkPath, Notices& notices, const Settings& settings = Settings(),
               ProgramThread::Where where = ProgramThread::Where::CallersThread, QObject* parent = nullptr);
    // The history window reads the program's state: it goes first.
    ~WindowMode() override { delete history_; }

    // Adds the icon, has the run built (connection, hide timer, watchdog) and its daily run
    // run, and shows the window at the centre of the screen.
    void start();
    // After the event loop: the teardown, then the icon is taken away last. False when the
    // run was cut short in a wait for a server (its row rolled back) or did not come back in
    // time: the process must end now, without returning.
    bool finish();
    // A termination signal: the teardown where the program stands, the icon taken away.
    // False as for finish().
    bool finishAtOnce();

    // Runs `work` on the run's thread at its next turn of an event loop.
    void onRun(std::function<void(Program&)> work) { run_.post(std::move(work)); }

    // "Exclusão de Alunos pendêntes".
    void pmnuiLimpaClick();
    // "Histórico…": the send history's window, read afresh each time it is opened.
    void pmnuiHistoricoClick();
    // "Finalizar": handles what is waiting, then ends the event loop; the teardown follows.
    void pmnuiExitClick();

    TFRMVelocast window;

private:
    ProgramThread run_;

public:
    Program& program;  // lives on the run's thread: reach it through post() there
    TrayIcon tray;

private:
    Notices& notices_;
    QString statePath_;           // the run's state database, once it is open
    StateDatabase historyState_;  // read by the history window on this thread
    QPointer<HistoryWindow> history_;
    bool toldStandingAside_ = false;
};

}  // namespace velocast
