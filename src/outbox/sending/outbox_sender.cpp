// The send tick, the figures it shows, the pause, and what the sender keeps between rows;
// the drain itself is in outbox_drain.cpp, what a failure does to a row in row_failure.cpp.
#include "outbox/sending/outbox_sender.h"

#include "calendar/clock.h"
#include "data/session.h"
#include "notices/notices.h"

namespace velocast {

OutboxSender::OutboxSender(Session& session, Notices& notices, SendCounters& counters, QObject* parent)
    : QObject(parent), session_(session), outbox_(session), notices_(notices), counters_(counters) {
    QString error;
    memoryState_.open(QString::fromLatin1(StateDatabase::kInMemory), &error);
    Timer2.setInterval(kSendTickInterval);
    connect(&Timer2, &QTimer::timeout, this, &OutboxSender::Timer2Timer);
}

void OutboxSender::show(Figure figure, qint32 value) { emit figureChanged(figure, value); }

void OutboxSender::Timer2Timer() {
    if (!Timer2.isActive()) return;
    Timer2.stop();
    if (!mayDrain || mayDrain()) {
        if (betweenDrains) betweenDrains();
        if (ENVIAR_EMAIL()) Timer2.start();
    } else {
        Timer2.start();
    }
    emit tickEnded();
}

const SmtpAccount& OutboxSender::account() {
    const Dataset& settings = session_.TBLCONTROLE2;
    if (!account_ || accountVersion_ != settings.version()) {
        account_.reset();
        account_ = readSmtpAccount(settings);  // throws DbError when the table is not open
        accountVersion_ = settings.version();
    }
    return *account_;
}

bool OutboxSender::stillPaused() {
    if (!pausedUntil_.isValid()) return false;
    if (localNow() < pausedUntil_) return true;
    pausedUntil_ = QDateTime();
    emit pauseChanged(QDateTime(), QString());
    return false;
}

void OutboxSender::pause(const QDateTime& until, const QString& reason, PauseCause cause) {
    pausedUntil_ = until;
    pauseCause_ = cause;
    emit pauseChanged(until, reason);
}

bool OutboxSender::ENVIAR_EMAIL() {
    const bool walked = drain();
    if (keptForServer_.rows > 0) emit serverUnreachable(keptForServer_);
    // The tick begins the next drain one interval after this one ended.
    const QDateTime now = localNow();
    if (outage_.drainEnded(keptForServer_.rows, keptForServer_.peer, keptForServer_.server, keptForServer_.reason, now,
                           now.addMSecs(Timer2.interval())))
        emit serverOutageChanged(outage_.outage());
    if (!walked) emit failed();
    return walked;
}

void OutboxSender::keepingState(const std::function<void()>& write) {
    try {
        write();
        stateFailing_ = false;
    } catch (const std::exception& e) {
        if (stateFailing_) return;
        stateFailing_ = true;
        if (history.warn)
            history.warn(
                QStringLiteral("%1; the e-mails still go out, but pacing and retries may miss what was sent meanwhile")
                    .arg(QString::fromUtf8(e.what())));
    }
}

}  // namespace velocast
