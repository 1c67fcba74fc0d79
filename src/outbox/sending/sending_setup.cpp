#include "outbox/sending/sending_setup.h"

#include <QCoreApplication>

#include "data/club_identity.h"
#include "notices/notices.h"
#include "notices/log_line.h"
#include "calendar/clock.h"
#include "settings/settings.h"
#include "state/send_history.h"
#include "state/state_database.h"

namespace velocast {

namespace {

void warn(const QString& text) { writeLogLine(LogPriority::Warning, QStringLiteral("velocast: warning: ") + text); }

}  // namespace

PacingSettings pacingSettings(const Settings& settings) {
    PacingSettings pacing;
    pacing.perMinute = settings.sending.perMinute;
    pacing.perHour = settings.sending.perHour;
    pacing.perDay = settings.sending.perDay;
    pacing.messagesPerConnection = settings.sending.messagesPerConnection;
    return pacing;
}

bool openStateDatabase(StateDatabase& state, const Settings& settings, const QString& dataLinkPath, QString* error) {
    // An unreadable data link is reported by the connection itself; the file still tells
    // this club's state from another's.
    const QString path = StateDatabase::pathFor(settings.stateDatabase, clubIdentity(dataLinkPath).text, error);
    return !path.isEmpty() && state.open(path, error);
}

void pruneSendHistory(StateDatabase& state, const Settings& settings, PruneSteps steps) {
    const qint64 days = settings.historyRetentionDays;
    try {
        SendHistory history(state);
        if (steps == PruneSteps::All) history.pruneAll(localNow().addDays(-days));
        else history.prune(localNow().addDays(-days));
    } catch (const std::exception& e) {
        warnHistory(QString::fromUtf8(e.what()));
    }
}

void warnHistory(const QString& text) { warn(text); }

void warnPaused(const QString& until, const QString& reason) {
    warn(QCoreApplication::translate("Warnings", "sending paused until %1, the e-mails stay in the outbox: %2")
             .arg(until, StderrNotices::escape(reason)));
}

void warnGivenUp(const QString& address, const QString& lastReply) {
    warn(
        QCoreApplication::translate(
            "Warnings", "recipient given up after %1 days of attempts, outbox row removed: address=\"%2\" reply=\"%3\"")
            .arg(kGiveUpAfterDays)
            .arg(StderrNotices::escape(address), StderrNotices::escape(lastReply)));
}

void warnAttachmentUnreadable(const QString& path, const QString& reason) {
    warn(QCoreApplication::translate(
             "Warnings", "attachment cannot be read, its e-mails wait in the outbox: path=\"%1\" reason=\"%2\"")
             .arg(StderrNotices::escape(path), StderrNotices::escape(reason)));
}

}  // namespace velocast
