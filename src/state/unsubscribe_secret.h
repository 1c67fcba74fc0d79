#pragma once
// The club's key for the opt-out tokens: 32 random bytes made the first time they are asked
// for and kept in the state database. Every message's header and every request read later is
// checked against it, so it is made once and never replaced; a copy of the program on another
// machine (another state database) makes its own, and requests for its messages fail here.
#include <QByteArray>

namespace velocast {

class StateDatabase;

// The key, made and stored on first use. Throws std::runtime_error naming the file when it can
// be neither read nor stored.
QByteArray unsubscribeSecret(StateDatabase& state);

}  // namespace velocast
