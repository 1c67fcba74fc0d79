#pragma once
// Everything one run of Velocast holds, window or not: the database session and its
// watchdog, the timers, the counters, the daily run, the sender. This is the one place that
// connects them; a mode (window or headless) connects to its signals to show the run.
#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>

#include "data/session.h"
#include "data/shared_connection.h"
#include "data/watchdog.h"
#include "outbox/sending/outbox_sender.h"
#include "outbox/sending/send_counters.h"
#include "settings/settings.h"
#include "campaigns/daily_run.h"
#include "shell/watchdog_tick.h"
#include "state/state_database.h"

namespace velocast {

class Notices;

// The window hides itself this long after the start (and after a reconnect).
inline constexpr std::chrono::milliseconds kHideDelay{3000};
// Each failed pass of the reconnect loop shows its notice; this pause between passes keeps
// an outage from raising box after box (or line after line) as fast as they go.
inline constexpr std::chrono::milliseconds kReconnectPause{5000};

class Program : public QObject {
    Q_OBJECT
public:
    Program(const QString& dataLinkPath, Notices& notices, const Settings& settings = Settings(),
            QObject* parent = nullptr);
    ~Program() override;

    // What building the main window does: opens the connection (a failure is reported and
    // start-up goes on) and arms the hide timer and the watchdog.
    void build();
    // A window's start: build(), then the daily run. Without a database the daily run could
    // only add a box about the closed connection to the one that said why it did not open; it
    // runs once the watchdog reconnects. The icon comes first all the same: it is how the
    // person ends the program meanwhile.
    void start();
    // The daily run, under the default error report; sending starts after it.
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
    // The run failed only because a send was refused in a way a person must mend (the
    // sign-in, the TLS mode, the OAuth grant): what to change. Empty otherwise.
    QString failedOnlyForSetting() const { return errorReported_ ? QString() : failedSetting_; }

    // With --once: drains until a drain finishes no row, then ends the program. Runs once the
    // event loop does. Every drain that kept rows because the SMTP server could not be
    // reached is told through `serverUnreachable`.
    void drainOnceThenQuit();
    // Reads the club's mailbox once ([mailbox] in velocast.conf; nothing without it): delivery
    // reports and opt-out requests. A failure is one warning line; sending is not affected.
    void readMailbox();

    // Rows the last drain of drainOnceThenQuit left in the outbox for an unreachable server.
    int rowsLeftForServer() const { return rowsLeftForServer_; }
    // drainOnceThenQuit ended on a pause (the provider throttles, or a pacing limit): the
    // rows wait for a later run.
    bool endedPaused() const { return endedPaused_; }
    // The setting of Qzcvar2 that made the last drain of drainOnceThenQuit keep rows and that only a person can
    // change; empty when none did.
    const QString& settingToFix() const { return settingToFix_; }

    // Counts the outbox now and tells the pending figure, so that the window shows the real
    // count before the first drain; a database that cannot be counted leaves it alone.
    void countPending();
    // "Exclusão de Alunos pendêntes": empties the outbox and leaves one send history entry per
    // row removed. True when it was emptied.
    bool clearOutbox();

    // The periods of the run's timers; benchmarks run the same loop faster.
    struct Intervals {
        std::chrono::milliseconds hide = kHideDelay;
        std::chrono::milliseconds sendTick = kSendTickInterval;
        std::chrono::milliseconds watchdog = kWatchdogInterval;
        std::chrono::milliseconds reconnectPause = kReconnectPause;
    };
    void setIntervals(const Intervals& intervals);

    bool databaseOpen() const { return connection_.isOpen(); }
    // The send tick runs (the daily run has started sending).
    bool sending() const { return sender_.tickActive(); }
    bool hideTimerActive() const { return Timer1.isActive(); }

    SharedConnection& connection() { return connection_; }
    OutboxSender& sender() { return sender_; }
    Watchdog& watchdog() { return watchdog_; }
    // The club's local state database (the send history the window shows).
    StateDatabase& state() { return state_; }
    Notices& notices() { return notices_; }
    // The machine's settings file (velocast.conf), read once at start.
    const Settings& settings() const { return settings_; }

signals:
    // build() opened the club's state database (the send history a window may show).
    void stateDatabaseOpened(const QString& path);
    // The hide timer fired, or the program is asked to end.
    void hideWindowRequested();
    // The daily run begins: the tray icon comes first.
    void iconRequested();
    void figureChanged(Figure figure, qint32 value);
    // A recipient the server refused for good as a bad address.
    void recipientRefused(const QString& address, const QString& reply);
    // A drain of drainOnceThenQuit kept rows because the SMTP server could not be reached.
    void serverUnreachable(const OutboxSender::KeptForServer& kept);
    // The drain paused (until, why) or resumed (an invalid time).
    void pauseChanged(const QDateTime& until, const QString& reason);
    // Another copy works on this database: the line to show when this copy begins to stand
    // aside, and an empty text once it holds the database again.
    void standingAsideChanged(const QString& text);
    // A campaign of the daily run ended.
    void campaignDone(const DailyRun::CampaignDone& done);
    // Rows wait for a server that cannot be reached (or no longer do: an inactive outage).
    void serverOutageChanged(const velocast::ServerOutage& outage);
    // An outcome was written to the send history.
    void historyRecorded();

private:
    void Timer1Timer();
    // The daily run proper, once this copy holds the database.
    void runDailyRun();
    // Takes the database lock unless held; tells standingAsideChanged when that changes.
    bool holdDatabase();
    void stopTimers();
    // Whether the mailbox is due; the timer marks it, the send tick reads it between drains.
    bool mailboxDue_ = false;
    QTimer mailboxTimer_;

    Notices& notices_;
    Settings settings_;
    SharedConnection connection_;
    Session session_;
    QTimer Timer1;  // hides the window once, kHideDelay after start
    Watchdog watchdog_;
    SendCounters counters_;
    StateDatabase state_;  // before the sender, which uses it
    DailyRun dailyRun_;
    OutboxSender sender_;
    WatchdogTick watchdogTick_;
    // With an [oauth] section: the access tokens the sender signs in with.
    std::unique_ptr<mail::TokenService> tokens_;
    bool endRequested_ = false;
    bool errorReported_ = false;
    int rowsLeftForServer_ = 0;
    bool endedPaused_ = false;
    bool drainingOnce_ = false;
    QString settingToFix_;
    QString failedSetting_;
    bool dailyRunPending_ = false;  // stood aside at the start: the daily run waits for the lock
    bool standingAside_ = false;
};

}  // namespace velocast
