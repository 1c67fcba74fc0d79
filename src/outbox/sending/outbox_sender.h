#pragma once
// Drains the outbox: every row becomes one e-mail in an SMTP session of its own, and every row
// that was sent or found invalid is deleted, each in its own transaction.
#include <QObject>
#include <QVariant>
#include <QTimer>
#include <functional>
#include <optional>

#include "mail/mime/message_composer.h"
#include "mail/smtp/smtp_account.h"
#include "mail/smtp/smtp_client.h"
#include "outbox/sending/figure.h"
#include "outbox/outbox.h"
#include "outbox/sending/send_counters.h"

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
    };
    const KeptForServer& rowsKeptForServerInLastDrain() const { return keptForServer_; }

    // Asked before every drain and every row: false while another copy of the program works
    // on this database; the drain then stops (or does not begin) and the tick asks again next
    // time. Unset: always true.
    std::function<bool()> mayDrain;

    // The client, configured anew for every row; its TLS mode carries over from row to row.
    mail::SmtpClient IdSMTP;
    // How each message is composed; tests fix the boundary.
    std::function<mail::CompositionOptions()> compositionOptions = [] { return mail::CompositionOptions{}; };

private:
    enum class RowResult { Finished, Kept, SendFailed };
    RowResult ENVIADO(const OutboxRow& row);
    void sendFailed(const QString& errorText);
    void show(Figure figure, qint32 value);
    const mail::SmtpAccount& account();
    void keptForServer(const OutboxRow& row, const QString& server, const QString& reason);

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
};

}  // namespace velocast
