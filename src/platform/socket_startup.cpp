#include "platform/socket_startup.h"

namespace velocast {

bool startSockets() { return true; }

}  // namespace velocast
