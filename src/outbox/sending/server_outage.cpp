#include "outbox/sending/server_outage.h"

namespace velocast {

bool ServerOutageTracker::drainEnded(int keptRows, const QString& peer, const QString& server, const QString& reason,
                                     const QDateTime& now, const QDateTime& nextTry) {
    const ServerOutage before = outage_;
    if (keptRows <= 0) {
        outage_ = ServerOutage{};
    } else {
        // Another server (the settings changed) is another outage, counted from now.
        if (!outage_.active() || outage_.server != server) outage_.since = now;
        outage_.peer = peer;
        outage_.server = server;
        outage_.reason = reason;
        outage_.nextTry = nextTry;
        outage_.rows = keptRows;
    }
    return !(outage_ == before);
}

}  // namespace velocast
