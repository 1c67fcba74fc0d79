#pragma once
// Windows opens a console window for a console program started from the desktop (the Start
// menu, the start with Windows). Beside the tray program it would only stand in the way, and
// closing it would end the program. The tray program lets such a console go; one that it
// shares with the command prompt it was started from stays, with the program's lines in it.
// Other systems open no console: nothing to do there.

namespace velocast {

void releaseDesktopConsole();

}  // namespace velocast
