#include "shell/desktop/program_icon.h"

#include <QApplication>
#include <QStyle>

namespace velocast {

QIcon programIcon() {
    QIcon icon;
    for (const int size : {48, 128, 256}) icon.addFile(QStringLiteral(":/velocast/velocast-%1.png").arg(size));
    return icon;
}

// The Sair picture is a drawing Qt reads with its SVG plug-in, which the Windows build lacks:
// the style's own close picture stands in for it.
QIcon exitPicture() { return QApplication::style()->standardIcon(QStyle::SP_DialogCloseButton); }

}  // namespace velocast
