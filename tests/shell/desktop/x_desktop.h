#pragma once
// A desktop of its own for the tests: an Xvfb server on a free display, the openbox window
// manager and the trayer notification area, and the X tools that look at it and click on it.
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <sys/types.h>

#include "support/serve_until.h"

namespace velocast::testing {

class XDesktop {
public:
    ~XDesktop();

    // Starts the X server; false (with the reason) where Xvfb is not installed or fails.
    static bool serverInstalled();
    // Runs before any Qt application object exists, as the tests' own one connects to it.
    bool startServer(QString* why);
    // With a Qt application on the server: the window manager and the notification area.
    bool startDesktop(QString* why);
    void stop();

    QString display() const { return display_; }

private:
    pid_t server_ = -1;
    QString display_;
    QProcess windowManager_;
    QProcess tray_;
};

// The X tools, run on the display of the environment.
QString runTool(const QString& program, const QStringList& arguments);
// Windows whose title matches `titleRegex` (xdotool search); `visible`: mapped ones only.
QStringList windowsNamed(const QString& titleRegex, bool visible);
struct WindowState {
    bool viewable = false;
    QRect geometry;  // the client area, in screen coordinates
};
WindowState windowState(const QString& id);
// The program's icons embedded in trayer's panel, as screen rectangles, in panel order.
QList<QRect> trayIcons(const QString& windowClass);
// The pop-up menu of that class that is open, if one is.
std::optional<QRect> popupMenu(const QString& windowClass);
// The _MOTIF_WM_HINTS of a window: flags, functions, decorations.
QList<qulonglong> motifHints(const QString& id);
void click(QPoint at, int button, int times = 1);
// Makes the window the active one, then types `text` into it, or presses `keys` ("Return").
void typeInto(const QString& id, const QString& text);
void pressKeys(const QString& id, const QString& keys);

}  // namespace velocast::testing
