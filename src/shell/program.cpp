#include "shell/program.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSet>
#include <memory>

#include "campaigns/campaign_of_subject.h"
#include "data/db_error.h"
#include "data/host_schema.h"
#include "data/notices.h"
#include "notices/log_line.h"
#include "shell/attachment_folders.h"
#include "shell/error_report.h"
#include "shell/oauth_settings.h"
#include "shell/tls_settings.h"
#include "shell/sending_setup.h"

namespace velocast {

Program::Program(const QString& dataLinkPath, Notices& notices, const LocalSettings& settings, QObject* parent)
    : QObject(parent),
      connection(dataLinkPath),
      session(connection, notices),
      watchdog(session, notices, &Timer1, &Timer2),
      dailyRun(session, notices, Timer2, counters,
               {[this] { if (registerIcon) registerIcon(); }, [this] { endRequest(); }}),
      sender(session, notices, Timer2, counters,
             {[this](Figure figure, qint32 value) { if (showFigure) showFigure(figure, value); },
              [this] { endRequest(); }, [this] { if (hideWindow) hideWindow(); }, [this] { endRequest(); },
              [this](const QString& address, const QString& reply) { if (recipientRefused) recipientRefused(address, reply); },
              [this](const QDateTime& until, const QString& reason) {
                  if (until.isValid()) warnPaused(until.toString(QStringLiteral("HH:mm")), reason);
                  if (pauseChanged) pauseChanged(until, reason);
              },
              &warnGivenUp, &warnAttachmentUnreadable}),
      notices_(notices),
      settings_(settings) {
    // A desktop session may also attach from the user's Pictures; a headless run (a service
    // with no user behind it) only from beside its data-link file.
    const bool desktop = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    sender.attachmentPolicy = attachmentPolicy(settings_, dataLinkPath, desktop);
    Timer1.setInterval(3000);
    Timer2.setInterval(5000);
    connect(&Timer1, &QTimer::timeout, this, &Program::Timer1Timer);
    sender.setPacing(pacingSettings(settings_));
    sender.history.campaignOf = [this](const QString& subject) { return campaignOfSubject(session.TBLCONTROLE2, subject); };
    sender.history.warn = &warnHistory;
    // A database that was not there at the start (the first login before the data-link file
    // existed, a server still booting) gets its daily run once it answers.
    connect(&watchdog, &Watchdog::reconnected, this, [this] {
        if (!dailyRun.sessionOpened() && !endRequested_) FormCreate();
    });
    // main has refused a velocast.conf whose [oauth] section cannot be used.
    QString oauthProblem;
    if (const auto oauth = oauthSettings(settings_, &oauthProblem)) {
        tokens_ = makeTokenService(*oauth, dataLinkPath);
        sender.setTokenService(tokens_.get());
    }
    // main has refused a [tls] section it cannot use before anything ran.
    QString unusable;
    sender.IdSMTP.setTlsPolicy(tlsPolicyFromSettings(settings_, &unusable).value_or(mail::TlsPolicy{}));
    // Said once per run: every row of every drain would repeat it.
    sender.IdSMTP.setWarningObserver([said = std::make_shared<QSet<QString>>()](const QString& text) {
        if (said->contains(text)) return;
        said->insert(text);
        writeLogLine(LogPriority::Warning, QStringLiteral("velocast: warning: %1").arg(StderrNotices::escape(text)));
    });
    sender.mayDrain = [this] {
        // A connection that is not open has its own reports (the watchdog, the drain's error).
        if (!connection.isOpen()) return true;
        if (!holdDatabase()) return false;
        if (dailyRunPending_) {
            dailyRunPending_ = false;
            runDailyRun();
            Timer2.stop();  // started by the daily run; the tick that asked starts it again
            return !endRequested_;
        }
        return true;
    };
}

Program::~Program() = default;

void Program::build() {
    // Without its state file the run still sends, remembering deferred rows only until it ends.
    QString stateError;
    if (openStateDatabase(state, settings_, connection.dataLinkPath(), &stateError)) {
        pruneSendHistory(state, settings_);
        sender.setStateDatabase(&state);
    } else {
        notices_.reportError(stateError);
        errorReported_ = true;
    }
    connection.bounds.queryTimeoutSeconds = int(settings_.number(QStringLiteral("database"), QStringLiteral("query_timeout")));
    connection.bounds.lockTimeoutSeconds = int(settings_.number(QStringLiteral("database"), QStringLiteral("lock_timeout")));
    if (!withErrorReport(notices_, [&] { connection.open(); })) errorReported_ = true;
    Timer1.start();
    watchdog.Timer3.start();
}

void Program::FormCreate() {
    // Another copy working on this database (on this machine or another) runs the campaigns
    // and drains the outbox; this one waits, and asks again at every send tick. Without an
    // open connection the daily run reports that, as it always has.
    if (connection.isOpen() && !holdDatabase()) {
        if (registerIcon) registerIcon();
        dailyRunPending_ = true;
        Timer2.start();
        return;
    }
    runDailyRun();
}

void Program::runDailyRun() {
    if (!withErrorReport(notices_, [&] { dailyRun.FormCreate(); })) errorReported_ = true;
    if (const int dropped = session.leftOverRunTablesDropped(); dropped > 0) {
        writeLogLine(LogPriority::Info, QStringLiteral("velocast: %1 run table(s) left by runs that did not end were removed (%2...)")
                                            .arg(dropped)
                                            .arg(kRunTablePrefix));
    }
}

bool Program::holdDatabase() {
    const bool held = session.databaseLock.take();
    if (held == !standingAside_) return held;
    standingAside_ = !held;
    if (standingAside) standingAside(held ? QString() : session.databaseLock.standAsideText());
    return held;
}

void Program::FormDestroy() {
    Timer1.stop();
    Timer2.stop();
    watchdog.Timer3.stop();
    if (!withErrorReport(notices_, [&] { session.teardown(); })) errorReported_ = true;
}

void Program::tearDownAtOnce() {
    Timer1.stop();
    Timer2.stop();
    watchdog.Timer3.stop();
    if (connection.inTransaction()) {
        try {
            connection.rollback();
        } catch (const DbError&) {
            // Closing the connection at the end rolls it back as well.
        }
    }
    StderrNotices stderrNotices;
    if (!withErrorReport(stderrNotices, [&] { session.teardown(); })) errorReported_ = true;
}

void Program::endRequest() {
    endRequested_ = true;
    if (hideWindow) hideWindow();
    // exit, not quit: quit first offers the window a close, which it refuses (it only
    // hides), and under a window manager that can cancel the end.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void Program::drainOnceThenQuit() {
    QTimer::singleShot(0, this, [this] {
        Timer2.stop();  // the drains are driven from here, not by the tick
        // A copy that stood aside at the start has said so; another copy drains.
        if (dailyRunPending_) {
            QCoreApplication::quit();
            return;
        }
        while (!endRequested_) {
            const bool walked = sender.ENVIAR_EMAIL();
            const auto& kept = sender.rowsKeptForServerInLastDrain();
            rowsLeftForServer_ = kept.rows;
            settingToFix_ = kept.setting;
            if (kept.rows > 0 && serverUnreachable) serverUnreachable(kept);
            // A pause outlasts any sensible run: the rows wait for the next one.
            endedPaused_ = walked && sender.pausedUntil().isValid();
            if (endedPaused_) break;
            if (!walked) {
                endRequest();
                break;
            }
            if (sender.rowsFinishedInLastDrain() == 0) break;
        }
        QCoreApplication::quit();
    });
}

void Program::Timer1Timer() {
    if (!Timer1.isActive()) return;
    Timer1.stop();
    if (hideWindow) hideWindow();
}

}  // namespace velocast
