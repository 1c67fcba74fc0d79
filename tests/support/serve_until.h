#pragma once
// Lets the program's event loop run until a condition holds, for tests that wait for what the
// program does in its own time (a timer, a socket, another process).
#include <functional>

namespace velocast::testing {

// Serves events until `done` holds; false after `ms` (the test then fails on its own check).
bool serveUntil(const std::function<bool()>& done, int ms = 30000);

}  // namespace velocast::testing
