#pragma once
// The program's own pictures, compiled into the program.
#include <QIcon>

namespace velocast {

// The icon of the window and of the notification area.
QIcon programIcon();
// The picture of the Sair button (its disabled look is derived from it).
QIcon exitPicture();

}  // namespace velocast
