#pragma once
// Whether the outbox waits for a mail server that cannot be reached: which server, since when,
// and when the next drain tries again. The sender keeps it from drain to drain; the window and
// the tray show it, so that a pending figure that does not go down has a reason beside it.
#include <QDateTime>
#include <QMetaType>
#include <QString>

namespace velocast {

struct ServerOutage {
    QString peer;       // "SMTP server", or the OAuth token endpoint
    QString server;     // host:port
    QString reason;     // the last failure, one line
    QDateTime since;    // the first drain that could not reach it; invalid: no outage
    QDateTime nextTry;  // when the next drain begins; invalid when none is planned
    int rows = 0;       // the rows the last drain kept for it

    bool active() const { return since.isValid(); }
    bool operator==(const ServerOutage&) const = default;
};

// Follows the drains: an outage begins with the first drain that kept rows for an unreachable
// server and lasts until a drain keeps none.
class ServerOutageTracker {
public:
    // After a drain: `keptRows` kept for `server`; the next drain begins at `nextTry`. True
    // when what is shown must change.
    bool drainEnded(int keptRows, const QString& peer, const QString& server, const QString& reason,
                    const QDateTime& now, const QDateTime& nextTry);
    const ServerOutage& outage() const { return outage_; }

private:
    ServerOutage outage_;
};

}  // namespace velocast

Q_DECLARE_METATYPE(velocast::ServerOutage)
