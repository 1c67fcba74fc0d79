#include "shell/desktop/display_check.h"

#include <QCoreApplication>
#include <QtGlobal>

#ifdef VELOCAST_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace velocast {

QString missingDisplay() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    // A platform chosen by hand (offscreen, vnc, ...) is Qt's business.
    if (!platform.isEmpty() && !platform.startsWith(QLatin1String("xcb"))) return {};
    if (platform.isEmpty() && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return {};
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) return QCoreApplication::translate("Main", "DISPLAY is not set");
#ifdef VELOCAST_HAVE_XCB
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool failed = xcb_connection_has_error(connection) != 0;
    xcb_disconnect(connection);
    if (failed)
        return QCoreApplication::translate("Main", "display %1 does not answer").arg(QString::fromLocal8Bit(display));
#endif
#endif
    return {};
}

QString noDisplayMessage(const QString& missing) {
    return QStringLiteral("velocast: ") +
           QCoreApplication::translate("Main", "no display was found (%1); --headless runs without one").arg(missing);
}

}  // namespace velocast
