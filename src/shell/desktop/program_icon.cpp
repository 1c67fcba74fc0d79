#include "shell/desktop/program_icon.h"

namespace velocast {

QIcon programIcon() { return QIcon(QStringLiteral(":/velocast/velocast.svg")); }
QIcon exitPicture() { return QIcon(QStringLiteral(":/velocast/sair.svg")); }

}  // namespace velocast
