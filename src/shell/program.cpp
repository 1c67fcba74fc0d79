#include "shell/program.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSet>
#include <memory>

#include "campaigns/campaign_of_subject.h"
#include "data/db_error.h"
#include "data/host_schema.h"
#include "notices/notices.h"
#include "notices/log_line.h"
#include "outbox/outbox_clearing.h"
#include "outbox/sending/attachment_folders.h"
#include "shell/error_report.h"
#include "mailbox/mailbox_setup.h"
#include "calendar/clock.h"
#include "outbox/sending/oauth_settings.h"
#include "outbox/sending/tls_settings.h"
#include "outbox/sending/sending_setup.h"
#include "outbox/sending/unsubscribe_setup.h"

namespace velocast {

Program::Program(const QString& dataLinkPath, Notices& notices, const Settings& settings, QObject* parent)
    : QObject(parent),
      notices_(notices),
      settings_(settings),
      connection_(dataLinkPath),
      session_(connection_, notices),
      watchdog_(session_, notices),
      dailyRun_(session_, notices),
      sender_(session_, notices, counters_),
      watchdogTick_(watchdog_, [this](bool run) {
          if (run) {
              Timer1.start();
              sender_.startTick();
          } else {
              Timer1.stop();
              sender_.stopTick();
          }
      }) {
    // A desktop session may also attach from the user's Pictures; a headless run (a service
    // with no user behind it) only from beside its data-link file.
    const bool desktop = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    sender_.attachmentPolicy = attachmentPolicy(settings_, dataLinkPath, desktop);
    setIntervals({});
    connect(&Timer1, &QTimer::timeout, this, &Program::Timer1Timer);
    sender_.setPacing(pacingSettings(settings_));
    sender_.history.campaignOf = [this](const QString& subject) {
        return campaignOfSubject(session_.TBLCONTROLE2, subject);
    };
    sender_.history.warn = &warnHistory;
    sender_.history.recorded = [this] { emit historyRecorded(); };
    connect(&sender_, &OutboxSender::serverOutageChanged, this, &Program::serverOutageChanged);
    // A database that was not there at the start (the first login before the data-link file
    // existed, a server still booting) gets its daily run once it answers.
    connect(&watchdog_, &Watchdog::reconnected, this, [this] {
        if (!dailyRun_.sessionOpened() && !endRequested_) FormCreate();
    });
    dailyRun_.campaignDone = [this](const DailyRun::CampaignDone& done) {
        emit campaignDone(done);
        if (!done.finished) endRequest();
    };

    connect(&sender_, &OutboxSender::figureChanged, this, &Program::figureChanged);
    connect(&sender_, &OutboxSender::recipientRefused, this, &Program::recipientRefused);
    connect(&sender_, &OutboxSender::recipientGivenUp, this, &warnGivenUp);
    connect(&sender_, &OutboxSender::attachmentUnreadable, this, &warnAttachmentUnreadable);
    connect(&sender_, &OutboxSender::pauseChanged, this, [this](const QDateTime& until, const QString& reason) {
        if (until.isValid()) warnPaused(until.toString(QStringLiteral("HH:mm")), reason);
        emit pauseChanged(until, reason);
    });
    // A tick-driven drain keeps such rows silently for the next tick; only a run that ends
    // after its drains must account for them.
    connect(&sender_, &OutboxSender::serverUnreachable, this, [this](const OutboxSender::KeptForServer& kept) {
        if (drainingOnce_) emit serverUnreachable(kept);
    });
    connect(&sender_, &OutboxSender::failed, this, [this] {
        failedSetting_ = sender_.settingToFixOfLastFailure();
        endRequest();
    });
    // main has refused a velocast.conf whose [oauth] section cannot be used.
    QString oauthProblem;
    if (const auto oauth = oauthSettings(settings_, &oauthProblem)) {
        tokens_ = makeTokenService(*oauth, dataLinkPath);
        sender_.setTokenService(tokens_.get());
    }
    // main has refused a [tls] section it cannot use before anything ran.
    QString unusable;
    sender_.IdSMTP.setTlsPolicy(tlsPolicyFromSettings(settings_, &unusable).value_or(mail::TlsPolicy{}));
    // Said once per run: every row of every drain would repeat it.
    sender_.IdSMTP.setWarningObserver([said = std::make_shared<QSet<QString>>()](const QString& text) {
        if (said->contains(text)) return;
        said->insert(text);
        writeLogLine(LogPriority::Warning, QStringLiteral("velocast: warning: %1").arg(StderrNotices::escape(text)));
    });
    // The mailbox is read at the start and every check_minutes, by the send tick between two
    // drains: never while a drain's SMTP session is open.
    if (mailboxConfigured(settings_)) {
        mailboxDue_ = true;
        mailboxTimer_.setInterval(std::chrono::minutes(settings_.mailbox.checkMinutes));
        connect(&mailboxTimer_, &QTimer::timeout, this, [this] { mailboxDue_ = true; });
        sender_.betweenDrains = [this] {
            if (!mailboxDue_) return;
            mailboxDue_ = false;
            readMailbox();
        };
    }
    sender_.mayDrain = [this] {
        if (state_.isOpen()) pruneSendHistory(state_, settings_);
        // A connection that is not open has its own reports (the watchdog, the drain's error).
        if (!connection_.isOpen()) return true;
        if (!holdDatabase()) return false;
        if (dailyRunPending_) {
            dailyRunPending_ = false;
            runDailyRun();
            sender_.stopTick();  // started after the daily run; the tick that asked starts it again
            return !endRequested_;
        }
        return true;
    };
}

Program::~Program() = default;

void Program::setIntervals(const Intervals& intervals) {
    Timer1.setInterval(intervals.hide);
    sender_.setTickInterval(intervals.sendTick);
    watchdogTick_.setInterval(intervals.watchdog);
    watchdog_.pauseBetweenPasses = intervals.reconnectPause;
}

void Program::build() {
    // Without its state file the run still sends, remembering deferred rows only until it ends.
    QString stateError;
    const bool stateOpen = openStateDatabase(state_, settings_, connection_.dataLinkPath(), &stateError);
    sender_.amendMessage = unsubscribeAmendment(
        settings_, stateOpen ? &state_ : nullptr,
        [this](const QString& subject) { return campaignOfSubject(session_.TBLCONTROLE2, subject); });
    sender_.suppressionScope = suppressionScopeOfRows(
        settings_, [this](const QString& subject) { return campaignOfSubject(session_.TBLCONTROLE2, subject); });
    if (stateOpen) {
        pruneSendHistory(state_, settings_);
        sender_.setStateDatabase(&state_);
        emit stateDatabaseOpened(state_.path());
    } else {
        notices_.reportError(stateError);
        errorReported_ = true;
    }
    connection_.bounds.queryTimeoutSeconds = settings_.database.queryTimeout;
    connection_.bounds.lockTimeoutSeconds = settings_.database.lockTimeout;
    if (!withErrorReport(notices_, [&] { connection_.open(); })) errorReported_ = true;
    Timer1.start();
    watchdogTick_.start();
    if (mailboxConfigured(settings_)) mailboxTimer_.start();
}

void Program::readMailbox() {
    if (!mailboxConfigured(settings_)) return;
    // Another copy holding the database reads the mailbox too; one reader is enough.
    if (!connection_.isOpen() || !holdDatabase()) return;
    runMailboxPass(settings_, connection_, tokens_.get(), state_.isOpen() ? &state_ : nullptr, localNow());
}

void Program::start() {
    build();
    // The first paint shows what waits, not "0" until the first drain.
    countPending();
    if (databaseOpen()) FormCreate();
    else emit iconRequested();
}

void Program::FormCreate() {
    // Another copy working on this database (on this machine or another) runs the campaigns
    // and drains the outbox; this one waits, and asks again at every send tick. Without an
    // open connection the daily run reports that, as it always has.
    if (connection_.isOpen() && !holdDatabase()) {
        emit iconRequested();
        dailyRunPending_ = true;
        sender_.startTick();
        return;
    }
    runDailyRun();
}

void Program::runDailyRun() {
    const bool ran = withErrorReport(notices_, [&] {
        emit iconRequested();
        if (const DailyRun::Result result = dailyRun_.FormCreate(); !result.sessionOpened || result.nothingToRun)
            endRequest();
        sender_.startSending();
    });
    if (!ran) errorReported_ = true;
    if (const int dropped = session_.leftOverRunTablesDropped(); dropped > 0) {
        writeLogLine(LogPriority::Info,
                     QStringLiteral("velocast: %1 run table(s) left by runs that did not end were removed (%2...)")
                         .arg(dropped)
                         .arg(kRunTablePrefix));
    }
}

bool Program::holdDatabase() {
    const bool held = session_.databaseLock.take();
    if (held == !standingAside_) return held;
    standingAside_ = !held;
    emit standingAsideChanged(held ? QString() : session_.databaseLock.standAsideText());
    return held;
}

void Program::stopTimers() {
    Timer1.stop();
    mailboxTimer_.stop();
    sender_.stopTick();
    watchdogTick_.stop();
}

void Program::FormDestroy() {
    stopTimers();
    if (!withErrorReport(notices_, [&] { session_.teardown(); })) errorReported_ = true;
}

void Program::tearDownAtOnce() {
    stopTimers();
    if (connection_.inTransaction()) {
        try {
            connection_.rollback();
        } catch (const DbError&) {
            // Closing the connection at the end rolls it back as well.
        }
    }
    StderrNotices stderrNotices;
    if (!withErrorReport(stderrNotices, [&] { session_.teardown(); })) errorReported_ = true;
}

void Program::endRequest() {
    endRequested_ = true;
    emit hideWindowRequested();
    // exit, not quit: quit first offers the window a close, which it refuses (it only
    // hides), and under a window manager that can cancel the end.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void Program::drainOnceThenQuit() {
    QTimer::singleShot(0, this, [this] {
        sender_.stopTick();  // the drains are driven from here, not by the tick
        // A copy that stood aside at the start has said so; another copy drains.
        if (dailyRunPending_) {
            QCoreApplication::quit();
            return;
        }
        drainingOnce_ = true;
        // Before the drain: the rows of addresses the reports and requests suppress stay unsent.
        readMailbox();
        mailboxDue_ = false;
        while (!endRequested_) {
            // A failed drain has asked to end (the sender's `failed`).
            const bool walked = sender_.ENVIAR_EMAIL();
            rowsLeftForServer_ = sender_.rowsKeptForServerInLastDrain().rows;
            settingToFix_ = sender_.rowsKeptForServerInLastDrain().setting;
            // A pause outlasts any sensible run: the rows wait for the next one.
            endedPaused_ = walked && sender_.pausedUntil().isValid();
            if (endedPaused_ || !walked) break;
            if (sender_.rowsFinishedInLastDrain() == 0) break;
        }
        drainingOnce_ = false;
        QCoreApplication::quit();
    });
}

void Program::countPending() {
    if (!connection_.isOpen()) return;
    try {
        emit figureChanged(Figure::Pending, Outbox(session_).count());
    } catch (const DbError&) {
        // The first drain reports what is wrong with the database; the figure waits for it.
    }
}

bool Program::clearOutbox() {
    QList<OutboxRow> removed;
    if (!velocast::clearOutbox(connection_, notices_, &removed)) return false;
    sender_.history.recordAll(SendOutcome::RemovedByStaff, removed);
    return true;
}

void Program::Timer1Timer() {
    if (!Timer1.isActive()) return;
    Timer1.stop();
    emit hideWindowRequested();
}

}  // namespace velocast
