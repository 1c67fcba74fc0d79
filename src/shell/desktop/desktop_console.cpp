#include "shell/desktop/desktop_console.h"

namespace velocast {

void releaseDesktopConsole() {}

}  // namespace velocast
