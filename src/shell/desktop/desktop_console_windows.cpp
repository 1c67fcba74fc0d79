#include "shell/desktop/desktop_console.h"

#include <windows.h>

namespace velocast {

void releaseDesktopConsole() {
    // The program alone on its console: Windows made it for this start, and nobody reads it.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1) FreeConsole();
}

}  // namespace velocast
