#include "platform/socket_startup.h"

#include <winsock2.h>

namespace velocast {

bool startSockets() {
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

}  // namespace velocast
