#include "shell/headless_mode.h"

#include <QCoreApplication>

#include "notices/log_line.h"
#include "notices/notices.h"
#include "platform/exit_status.h"

namespace velocast {

HeadlessMode::HeadlessMode(const QString& dataLinkPath, Notices& notices, const Settings& settings, bool once,
                           QObject* parent)
    : QObject(parent), program(dataLinkPath, notices, settings), once_(once) {
    connect(&program, &Program::figureChanged, this,
            [this](Figure figure, qint32 value) { figures_.show(figure, value); });
    connect(&program, &Program::recipientRefused, this, [](const QString& address, const QString& reply) {
        writeLogLine(
            LogPriority::Warning,
            QStringLiteral("velocast: warning: recipient refused, outbox row removed: address=\"%1\" reply=\"%2\"")
                .arg(StderrNotices::escape(address), StderrNotices::escape(reply)));
    });
    connect(&program, &Program::standingAsideChanged, this, [](const QString& text) {
        if (text.isEmpty()) return;
        writeLogLine(LogPriority::Info, QStringLiteral("velocast: ") + text);
    });
    connect(&program, &Program::serverUnreachable, this, [](const OutboxSender::KeptForServer& kept) {
        writeLogLine(LogPriority::Warning,
                     QStringLiteral("velocast: warning: %1 e-mail(s) stay in the outbox: %2 %3: %4%5")
                         .arg(kept.rows)
                         .arg(kept.peer, kept.server, kept.reason,
                              kept.setting.isEmpty()
                                  ? QString()
                                  : QStringLiteral(" (change Qzcvar2.%1; velocast --check tells what else is wrong)")
                                        .arg(kept.setting)));
    });
    // Progress of the daily run, and what it wrote for the summary at the end.
    connect(&program, &Program::campaignDone, this, [this](const DailyRun::CampaignDone& done) {
        written_ << QStringLiteral("%1=%2").arg(done.campaign).arg(done.rowsWritten);
        writeLogLine(
            done.finished ? LogPriority::Info : LogPriority::Error,
            QStringLiteral("velocast: campaign %1/%2 %3: %4")
                .arg(done.index)
                .arg(done.total)
                .arg(done.campaign, done.finished ? QStringLiteral("%1 e-mail(s) written").arg(done.rowsWritten)
                                                  : QStringLiteral("failed, nothing written")));
    });
}

void HeadlessMode::start() {
    program.build();
    // Without a database the daily run could only add a second error about the closed
    // connection to the one that already says why it did not open.
    opened_ = program.databaseOpen();
    if (opened_) program.FormCreate();
    if (!once_) return;
    // A failed daily run has already asked to end; otherwise drain, then end.
    if (opened_ && !program.endRequested() && program.sending()) program.drainOnceThenQuit();
    else QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

int HeadlessMode::finish() {
    program.FormDestroy();
    // One line a run, so the journal answers "what did it do today" without counting lines.
    // A database that did not open has said all there is to say.
    if (opened_)
        writeLogLine(program.failed() ? LogPriority::Error : LogPriority::Info,
                     QStringLiteral("velocast: summary: campaigns %1; sent=%2 invalid=%3 left=%4%5")
                         .arg(written_.isEmpty() ? QStringLiteral("none") : written_.join(QLatin1Char(' ')))
                         .arg(figures_.sent())
                         .arg(figures_.invalid())
                         .arg(figures_.pending())
                         .arg(!program.failed() ? QString()
                              : program.failedOnlyForSetting().isEmpty()
                                  ? QStringLiteral("; something failed (see above)")
                                  : QStringLiteral("; something failed (see above): change %1")
                                        .arg(program.failedOnlyForSetting())));
    // A refused sign-in fails at every later run alike: only a person can mend it.
    if (program.failed()) return program.failedOnlyForSetting().isEmpty() ? kExitFailure : kExitConfiguration;
    // Retrying cannot help a setting that is wrong: a person must change it.
    if (program.rowsLeftForServer() > 0 && !program.settingToFix().isEmpty()) return kExitConfiguration;
    return program.rowsLeftForServer() > 0 || program.endedPaused() ? kExitServerUnreachable : kExitSuccess;
}

int HeadlessMode::finishAtOnce(int signal) {
    program.tearDownAtOnce();
    // A --once run cut short has not done its job, whatever stays in the outbox: a script
    // or timer must see that (128 + the signal, as a shell reports it).
    if (once_) return 128 + signal;
    return program.failed() ? kExitFailure : kExitSuccess;
}

}  // namespace velocast
