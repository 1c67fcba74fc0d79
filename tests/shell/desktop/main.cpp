// The desktop tests run their own X server: it must exist before the tests' Qt application
// connects to it, so this program has a main of its own.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "desktop_fixture.h"
#include "x_desktop.h"

int main(int argc, char** argv) {
    QTemporaryDir runtimeDir;
    qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    // The state databases and the desktop settings of the programs started here: never the
    // account's own.
    QTemporaryDir stateDir, configDir;
    qputenv("XDG_STATE_HOME", stateDir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());
    // Without a session bus Qt puts the icon into the X notification area, as trayer wants.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("WAYLAND_DISPLAY");
    velocast::testing::XDesktop desktop;
    QString why;
    const bool server = desktop.startServer(&why);
    if (!server && velocast::testing::XDesktop::serverInstalled()) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;  // the tools are there but broken: a failure, not a skip
    }
    qputenv("QT_QPA_PLATFORM", server ? "xcb" : "offscreen");
    QApplication app(argc, argv);
    if (server && !desktop.startDesktop(&why)) {
        desktop.stop();
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    velocast::testing::DesktopTest::unavailable = server ? QString() : why;
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    desktop.stop();
    return status;
}
