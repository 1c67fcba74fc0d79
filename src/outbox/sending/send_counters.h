#pragma once
// The figures of one program run: e-mails the server accepted and outbox rows discarded for
// their address. Zeroed by the daily run, raised only by the outbox sender.
#include <QtGlobal>

namespace velocast {

struct SendCounters {
    qint32 sent = 0;
    qint32 invalid = 0;
};

}  // namespace velocast
