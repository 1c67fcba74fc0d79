#pragma once
// The program without a window (a server, a service manager): one run of the program shown
// as lines on standard error, the figures line among them, and a summary line at the end.
#include <QObject>
#include <QStringList>

#include "outbox/sending/figures_line.h"
#include "shell/program.h"

namespace velocast {

class Notices;

class HeadlessMode : public QObject {
    Q_OBJECT
public:
    // `once`: run the day, drain until nothing more can go, then end (--once).
    HeadlessMode(const QString& dataLinkPath, Notices& notices, const Settings& settings = Settings(),
                 bool once = false, QObject* parent = nullptr);

    // Builds the run and runs the daily run when the database opened; with `once`, arranges
    // the drains and the end once the event loop runs.
    void start();
    // After the event loop: the teardown and the summary line. Returns the exit status.
    int finish();
    // A termination signal: the teardown where the program stands. Returns the exit status.
    int finishAtOnce(int signal);

    Program program;

private:
    FiguresLine figures_;
    bool once_ = false;
    bool opened_ = false;
    // What the daily run wrote, for the summary.
    QStringList written_;
};

}  // namespace velocast
