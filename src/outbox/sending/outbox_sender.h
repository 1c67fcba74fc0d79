#pragma once
// Drains the outbox: every row becomes one e-mail, and every row that was sent or found invalid
// is deleted, each in its own transaction committed before the next message begins. A session
// carries one message, or up to [sending] messages_per_connection of them.
#include <QObject>
#include <QSet>
#include <QVariant>
#include <QTimer>
#include <functional>
#include <optional>

#include "mail/mime/message_composer.h"
#include "mail/oauth/token_service.h"
#include "mail/smtp/smtp_account.h"
#include "mail/smtp/smtp_client.h"
#include "outbox/sending/failure_classes.h"
#include "outbox/sending/figure.h"
#include "outbox/sending/history_recorder.h"
#include "outbox/outbox.h"
#include "outbox/sending/pacing.h"
#include "outbox/sending/send_counters.h"
#include "state/state_database.h"

namespace velocast {

class Notices;
class Session;

class OutboxSender : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // Shows one figure on the window or the figures line.
        std::function<void(Figure figure, qint32 value)> showFigure;
        // After a failed drain: the program's end request.
        std::function<void()> endRequest;
        // After a failed send: hide the window, then ask the program to end.
        std::function<void()> hideWindow;
        std::function<void()> terminate;
        // A recipient the server refused for good as a bad address (the row was counted
        // invalid and removed): the address and the server's reply, for the club to fix.
        std::function<void(const QString& address, const QString& reply)> recipientRefused;
        // The drain paused (the provider throttles, or a pacing limit was reached): until
        // when, and why. Called once as the pause begins, and with an invalid time when it ends.
        std::function<void(const QDateTime& until, const QString& reason)> pauseChanged;
        // A recipient that kept failing for now was given up after days of attempts: the row
        // was counted invalid and removed.
        std::function<void(const QString& address, const QString& lastReply)> recipientGivenUp;
        // A row's attachment cannot be read or is refused: the row waits, the others go on.
        // Once per drain and file.
        std::function<void(const QString& path, const QString& reason)> attachmentUnreadable;
    };

    OutboxSender(Session& session, Notices& notices, QTimer& timer2, SendCounters& counters, Hooks hooks,
                 QObject* parent = nullptr);

    // The send tick: one drain, then the next tick 5 seconds after it ended.
    void Timer2Timer();
    // One drain. True when it walked to the end of the rows.
    bool ENVIAR_EMAIL();

    // Rows finished (sent or discarded) by the last drain.
    int rowsFinishedInLastDrain() const { return finishedInDrain_; }

    // Rows the last drain kept because the SMTP server could not be reached or its port not
    // read, with the server and the reason of the last such row. The drain itself stays
    // silent about them; a caller that must account for unsent mail reads this.
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
    // Rows the last drain left for a later attempt (their recipient or attachment failed for
    // now); they are not tried again before their next try.
    int rowsDeferredInLastDrain() const { return static_cast<int>(deferredInDrain_.size()); }

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

    // The client, configured anew for every row; its TLS mode carries over from row to row.
    mail::SmtpClient IdSMTP;
    // How each message is composed; tests fix the boundary.
    std::function<mail::CompositionOptions()> compositionOptions = [] { return mail::CompositionOptions{}; };
    // Where attachments may come from; the program fills it from its settings file. With no
    // folder named, no row's attachment goes out.
    mail::AttachmentPolicy attachmentPolicy;

private:
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
    void sendFailed(const QString& errorText);
    // A write to the state database after a message went out: a failure is a warning (said
    // once until a write works again), never a failed drain.
    void keepingState(const std::function<void()>& write);
    void show(Figure figure, qint32 value);
    const mail::SmtpAccount& account();
    void keptForServer(const OutboxRow& row, const QString& server, const QString& reason,
                       const QString& peer = QStringLiteral("SMTP server"), const QString& setting = QString());
    // No access token: an endpoint out of reach keeps the row like an unreachable server;
    // anything else needs a person, like a refused send.
    RowResult tokenFailed(const OutboxRow& row, const mail::TokenError& error);

    Session& session_;
    Outbox outbox_;
    Notices& notices_;
    QTimer& timer2_;
    SendCounters& counters_;
    Hooks hooks_;
    int finishedInDrain_ = 0;
    // The settings row as read for this drain; read again when the watchdog has reopened
    // (or closed) the settings table since.
    std::optional<mail::SmtpAccount> account_;
    quint64 accountVersion_ = 0;
    KeptForServer keptForServer_;
    QVariant lastKeptId_;
    mail::TokenService* tokens_ = nullptr;
    // A row can be visited twice in a drain (the one before a deleted last row): a set.
    QSet<qint64> deferredInDrain_;
    StateDatabase memoryState_;
    StateDatabase* state_ = &memoryState_;
    PacingSettings pacing_;
    QDateTime pausedUntil_;
    QStringList attachmentsReported_;
    // The session kept open for the next message, and the messages it has carried.
    int messagesInSession_ = 0;
    bool stateFailing_ = false;
    quint64 sessionAccountVersion_ = 0;
};

}  // namespace velocast
