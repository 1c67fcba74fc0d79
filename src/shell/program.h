#pragma once
// Everything one run of Velocast holds, window or not: the database session and its
// watchdog, the timers, the counters, the daily run. The window (when there is one) shows it.
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "data/session.h"
#include "data/shared_connection.h"
#include "data/watchdog.h"
#include "outbox/sending/outbox_sender.h"
#include "outbox/sending/send_counters.h"
#include "settings/local_settings.h"
#include "shell/daily_run.h"
#include "state/state_database.h"

namespace velocast {

class Notices;

class Program : public QObject {
    Q_OBJECT
public:
    Program(const QString& dataLinkPath, Notices& notices, const LocalSettings& settings = LocalSettings(),
            QObject* parent = nullptr);
    ~Program() override;

    // What building the main window does: opens the connection (a failure is reported and
    // start-up goes on) and arms the hide timer and the watchdog.
    void build();
    // The daily run, under the default error report.
    void FormCreate();
    // At the end: the teardown, under the default error report.
    void FormDestroy();

    // Ask the program to end once control is back in the event loop; the caller carries on.
    void endRequest();
    // Ends the run where it stands (a termination signal, which may come inside a notice or
    // between two rows of a drain): timers stopped, an open row transaction rolled back so
    // the row stays for the next start, then the teardown. An error of the teardown goes to
    // standard error: nobody may be there to dismiss a box.
    void tearDownAtOnce();
    bool endRequested() const { return endRequested_; }
    // Something failed this run: an end request, or an error shown by the default report.
    bool failed() const { return endRequested_ || errorReported_; }

    // With --once: drains until a drain finishes no row, then ends the program. Runs once the
    // event loop does. Every drain that kept rows because the SMTP server could not be
    // reached is passed to `serverUnreachable`.
    void drainOnceThenQuit();
    // Rows the last drain of drainOnceThenQuit left in the outbox for an unreachable server.
    int rowsLeftForServer() const { return rowsLeftForServer_; }
    // drainOnceThenQuit ended on a pause (the provider throttles, or a pacing limit): the
    // rows wait for a later run.
    bool endedPaused() const { return endedPaused_; }
    // The setting of Qzcvar2 that made the last drain of drainOnceThenQuit keep rows and that only a person can
    // change; empty when none did.
    const QString& settingToFix() const { return settingToFix_; }

    // Window mode sets these; headless sets showFigure to the figures line.
    std::function<void()> hideWindow;
    std::function<void()> registerIcon;
    std::function<void(Figure figure, qint32 value)> showFigure;
    // Headless sets it: a line for each recipient the server refused as a bad address.
    std::function<void(const QString& address, const QString& reply)> recipientRefused;
    std::function<void(const OutboxSender::KeptForServer&)> serverUnreachable;
    // The drain paused or resumed (an invalid time); both modes write a line when it pauses.
    std::function<void(const QDateTime& until, const QString& reason)> pauseChanged;
    // Another copy works on this database: called with the line to show when this copy
    // begins to stand aside, and with an empty text once it holds the database again.
    std::function<void(const QString& text)> standingAside;

    Notices& notices() { return notices_; }
    // The machine's settings file (velocast.conf), read once at start.
    const LocalSettings& settings() const { return settings_; }
    SharedConnection connection;
    Session session;
    QTimer Timer1;  // hides the window once, 3 s after start
    QTimer Timer2;  // drains the outbox every 5 s
    Watchdog watchdog;
    SendCounters counters;
    StateDatabase state;  // before the sender, which uses it
    DailyRun dailyRun;
    OutboxSender sender;

private:
    void Timer1Timer();
    // The daily run proper, once this copy holds the database.
    void runDailyRun();
    // Takes the database lock unless held; tells standingAside when that changes.
    bool holdDatabase();

    Notices& notices_;
    LocalSettings settings_;
    // With an [oauth] section: the access tokens the sender signs in with.
    std::unique_ptr<mail::TokenService> tokens_;
    bool endRequested_ = false;
    bool errorReported_ = false;
    int rowsLeftForServer_ = 0;
    bool endedPaused_ = false;
    QString settingToFix_;
    bool dailyRunPending_ = false;  // stood aside at the start: the daily run waits for the lock
    bool standingAside_ = false;
};

}  // namespace velocast
