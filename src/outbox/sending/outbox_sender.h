#pragma once
// Drains the outbox: every row becomes one e-mail, and every row that was sent or found invalid
// is deleted, each in its own transaction committed before the next message begins. A session
// carries one message, or up to [sending] messages_per_connection of them.
#include <QObject>
#include <QSet>
#include <QVariant>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

#include "mail/mime/message_composer.h"
#include "mail/oauth/token_service.h"
#include "mail/smtp/smtp_client.h"
#include "outbox/sending/failure_classes.h"
#include "outbox/sending/figure.h"
#include "outbox/sending/history_recorder.h"
#include "outbox/outbox.h"
#include "outbox/sending/pacing.h"
#include "outbox/sending/send_counters.h"
#include "outbox/sending/server_outage.h"
#include "outbox/sending/setting_to_fix.h"
#include "outbox/sending/smtp_account.h"
#include "state/state_database.h"

namespace velocast {

class Notices;
class Session;

// The send tick's period: the next drain begins this long after the last one ended.
inline constexpr std::chrono::milliseconds kSendTickInterval{5000};

class OutboxSender : public QObject {
    Q_OBJECT
public:
    OutboxSender(Session& session, Notices& notices, SendCounters& counters, QObject* parent = nullptr);

    // The send tick: one drain, then the next tick kSendTickInterval after it ended.
    void Timer2Timer();
    void setTickInterval(std::chrono::milliseconds interval) { Timer2.setInterval(interval); }
    std::chrono::milliseconds tickInterval() const { return Timer2.intervalAsDuration(); }
    // After the daily run: the counters start from zero and the tick runs.
    void startSending() {
        counters_ = SendCounters{};
        Timer2.start();
    }
    void startTick() { Timer2.start(); }
    void stopTick() { Timer2.stop(); }
    bool tickActive() const { return Timer2.isActive(); }
    // One drain. True when it walked to the end of the rows; false after `failed`.
    bool ENVIAR_EMAIL();

    // Rows finished (sent or discarded) by the last drain.
    int rowsFinishedInLastDrain() const { return finishedInDrain_; }

    // Rows the last drain kept because the SMTP server could not be reached or its port not
    // read, with the server and the reason of the last such row. The drain shows no notice
    // for them; `serverUnreachable` passes them on for a caller that must account for them.
    struct KeptForServer {
        int rows = 0;
        QString server;  // host:port, or the setting as written when its port cannot be read
        QString reason;  // one line
        QString peer = QStringLiteral("SMTP server");  // or the OAuth token endpoint
        // The setting of Qzcvar2 that kept them and that only a person can change (a port that
        // cannot be read, a host that does not exist, an unknown TLS mode); empty when the
        // server may simply come back.
        QString setting;
    };
    const KeptForServer& rowsKeptForServerInLastDrain() const { return keptForServer_; }
    // When the last drain failed on a refusal only a person can mend (the sign-in, a TLS mode
    // that is no mode, the OAuth grant): what to change; empty otherwise.
    const QString& settingToFixOfLastFailure() const { return settingToFixOfFailure_; }
    // Rows the last drain left for a later attempt (their recipient or attachment failed for
    // now); they are not tried again before their next try.
    int rowsDeferredInLastDrain() const { return static_cast<int>(deferredInDrain_.size()); }

    // Whether rows wait for a server that cannot be reached, since when, and the next try.
    const ServerOutage& serverOutage() const { return outage_.outage(); }

    // Until when the drain is paused; invalid when it is not. A paused drain sends nothing.
    QDateTime pausedUntil() const { return pausedUntil_; }

    // What the program remembers between runs (retry state, the day's count). Without one the
    // sender keeps it in memory for this run.
    // The send history is kept only there: in memory it would only grow.
    void setStateDatabase(StateDatabase* state) {
        state_ = state ? state : &memoryState_;
        history.setStateDatabase(state);
    }
    // What became of each row (sent, refused, invalid, deferred, given up).
    HistoryRecorder history;
    void setPacing(const PacingSettings& pacing) { pacing_ = pacing; }

    // With OAuth configured: the access tokens the client signs in with instead of a password.
    void setTokenService(mail::TokenService* tokens) { tokens_ = tokens; }

    // Asked before every drain and every row: false while another copy of the program works
    // on this database; the drain then stops (or does not begin) and the tick asks again next
    // time. Unset: always true.
    std::function<bool()> mayDrain;
    // Run by the tick before its drain, when no SMTP session is open (a drain lets events in
    // between rows, so work that must not overlap one waits for this). Unset: nothing.
    std::function<void()> betweenDrains;

    // The client, configured anew for every row; its TLS mode carries over from row to row.
    mail::SmtpClient IdSMTP;
    // How each message is composed; tests fix the boundary.
    std::function<mail::CompositionOptions()> compositionOptions = [] { return mail::CompositionOptions{}; };
    // Adds what a row's campaign carries besides the account's fields (the opt-out header and
    // footer of marketing mail). Unset: nothing.
    std::function<void(const OutboxRow& row, mail::MessageFields& fields)> amendMessage;
    // The group of campaigns a row belongs to for the suppression list ("marketing"): an
    // address that opted out of it gets none of its rows, and still the others. Unset or
    // empty: only an address suppressed for every e-mail is kept from the row.
    std::function<QString(const OutboxRow& row)> suppressionScope;
    // Where attachments may come from; the program fills it from its settings file. With no
    // folder named, no row's attachment goes out.
    mail::AttachmentPolicy attachmentPolicy;

signals:
    // One figure for the window or the figures line.
    void figureChanged(Figure figure, qint32 value);
    // A recipient the server refused for good as a bad address (the row was counted invalid
    // and removed): the address and the server's reply, for the club to fix.
    void recipientRefused(const QString& address, const QString& reply);
    // A recipient that kept failing for now was given up after days of attempts: the row was
    // counted invalid and removed.
    void recipientGivenUp(const QString& address, const QString& lastReply);
    // A row's attachment cannot be read or is refused: the row waits, the others go on.
    // Once per drain and file.
    void attachmentUnreadable(const QString& path, const QString& reason);
    // The drain paused (the provider throttles, or a pacing limit was reached): until when,
    // and why. Once as the pause begins, and with an invalid time when it ends.
    void pauseChanged(const QDateTime& until, const QString& reason);
    // A drain ended with rows kept for an unreachable server (see rowsKeptForServerInLastDrain).
    void serverUnreachable(const OutboxSender::KeptForServer& kept);
    // The outage changed: it began, its next try moved, or it ended (an inactive one).
    void serverOutageChanged(const velocast::ServerOutage& outage);
    // A tick ran its drain (or was turned away by mayDrain) and is over.
    void tickEnded();
    // A drain failed (a refused send, a database error) and has said why: the program ends.
    // Once per failed drain; the tick stays stopped.
    void failed();

private:
    // The drain proper; ENVIAR_EMAIL tells what it left.
    bool drain();
    enum class RowResult { Finished, Kept, Paused, SendFailed };
    RowResult ENVIADO(const OutboxRow& row);
    RowResult submit(const OutboxRow& row, const QString& address, const mail::ComposedMessage& message);
    // A row whose recipient or content failed for now: its next try, or given up.
    RowResult defer(const OutboxRow& row, const QString& address, const QString& reply, bool recipient);
    void pause(const QDateTime& until, const QString& reason);
    // The server throttles: pause until the window its reply names opens.
    void pauseForServer(const FailureVerdict& verdict, const QString& reply);
    bool stillPaused();
    void endSession();
    void sendFailed(const QString& errorText, const std::optional<SettingToFix>& fix = std::nullopt);
    // A write to the state database after a message went out: a failure is a warning (said
    // once until a write works again), never a failed drain.
    void keepingState(const std::function<void()>& write);
    void show(Figure figure, qint32 value);
    const SmtpAccount& account();
    void keptForServer(const OutboxRow& row, const QString& server, const QString& reason,
                       const QString& peer = QStringLiteral("SMTP server"), const QString& setting = QString());
    // No access token: an endpoint out of reach keeps the row like an unreachable server;
    // anything else needs a person, like a refused send.
    RowResult tokenFailed(const OutboxRow& row, const mail::TokenError& error);

    Session& session_;
    Outbox outbox_;
    Notices& notices_;
    QTimer Timer2;
    SendCounters& counters_;
    int finishedInDrain_ = 0;
    // The settings row as read for this drain; read again when the watchdog has reopened
    // (or closed) the settings table since.
    std::optional<SmtpAccount> account_;
    quint64 accountVersion_ = 0;
    KeptForServer keptForServer_;
    QString settingToFixOfFailure_;
    mail::TokenService* tokens_ = nullptr;
    // Rows, not visits: a drain can come to the same row twice (Outbox::removeCurrent).
    QSet<qint64> deferredInDrain_;
    QSet<qint64> keptForServerInDrain_;
    StateDatabase memoryState_;
    StateDatabase* state_ = &memoryState_;
    PacingSettings pacing_;
    QDateTime pausedUntil_;
    QStringList attachmentsReported_;
    // The session kept open for the next message, and the messages it has carried.
    int messagesInSession_ = 0;
    bool stateFailing_ = false;
    ServerOutageTracker outage_;
    quint64 sessionAccountVersion_ = 0;
};

}  // namespace velocast
