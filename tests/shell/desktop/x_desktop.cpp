#include "x_desktop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QThread>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace velocast::testing {

XDesktop::~XDesktop() { stop(); }

bool XDesktop::serverInstalled() { return !QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty(); }

bool XDesktop::startServer(QString* why) {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        *why = QStringLiteral("no X server: Xvfb is not installed (scripts/setup.sh installs it)");
        return false;
    }
    // Xvfb picks a free display itself and writes its number once it takes connections.
    int ready[2];
    if (::pipe(ready) != 0) {
        *why = QStringLiteral("pipe failed");
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    const QByteArray path = xvfb.toLocal8Bit();
    const QByteArray fd = QByteArray::number(ready[1]);
    const char* argv[] = {path.constData(), "-displayfd", fd.constData(), "-screen", "0",
                          "640x400x24",     "-nolisten",  "tcp",          nullptr};
    const int spawned = posix_spawn(&server_, path.constData(), &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ready[1]);
    if (spawned != 0) {
        ::close(ready[0]);
        server_ = -1;
        *why = QStringLiteral("Xvfb could not be started");
        return false;
    }
    QByteArray number;
    char c;
    while (::read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(ready[0]);
    if (number.isEmpty()) {
        *why = QStringLiteral("Xvfb did not start");
        stop();
        return false;
    }
    display_ = QLatin1Char(':') + QString::fromLatin1(number);
    qputenv("DISPLAY", display_.toLocal8Bit());
    return true;
}

bool XDesktop::startDesktop(QString* why) {
    windowManager_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!windowManager_.waitForStarted() || !serveUntil([] {
            return runTool(QStringLiteral("xprop"),
                           {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                .contains(QLatin1String("window id"));
        })) {
        *why = QStringLiteral("openbox did not start");
        return false;
    }
    tray_.start(QStringLiteral("trayer"),
                {QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"), QStringLiteral("right"),
                 QStringLiteral("--widthtype"), QStringLiteral("request"), QStringLiteral("--height"),
                 QStringLiteral("24"), QStringLiteral("--SetDockType"), QStringLiteral("true")});
    if (!tray_.waitForStarted() || !serveUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); })) {
        *why = QStringLiteral("trayer did not start");
        return false;
    }
    return true;
}

void XDesktop::stop() {
    for (QProcess* p : {&tray_, &windowManager_}) {
        if (p->state() == QProcess::NotRunning) continue;
        p->terminate();
        if (!p->waitForFinished(5000)) p->kill();
        p->waitForFinished();
    }
    if (server_ > 0) {
        ::kill(server_, SIGTERM);
        ::waitpid(server_, nullptr, 0);
        server_ = -1;
    }
}

QString runTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(20000)) {
        tool.kill();
        tool.waitForFinished();
    }
    return QString::fromUtf8(tool.readAllStandardOutput());
}

QStringList windowsNamed(const QString& titleRegex, bool visible) {
    QStringList arguments{QStringLiteral("search")};
    if (visible) arguments << QStringLiteral("--onlyvisible");
    arguments << QStringLiteral("--name") << titleRegex;
    return runTool(QStringLiteral("xdotool"), arguments).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

WindowState windowState(const QString& id) {
    const QString info = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    auto number = [&](const char* key) {
        const QRegularExpression re(QLatin1String(key) + QStringLiteral(":\\s*(-?\\d+)"));
        return re.match(info).captured(1).toInt();
    };
    WindowState state;
    state.viewable = info.contains(QLatin1String("Map State: IsViewable"));
    state.geometry =
        QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"), number("Height"));
    return state;
}

QList<QRect> trayIcons(const QString& windowClass) {
    // In the tree, the icons sit below trayer's panel window; each line ends with the
    // window's size and its absolute position.
    const QStringList lines = runTool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")})
                                  .split(QLatin1Char('\n'));
    const QRegularExpression geometry(QStringLiteral("(\\d+)x(\\d+)\\+-?\\d+\\+-?\\d+\\s+\\+(-?\\d+)\\+(-?\\d+)\\s*$"));
    QList<QRect> icons;
    int panelIndent = -1;
    for (const QString& line : lines) {
        const int indent = int(line.indexOf(QRegularExpression(QStringLiteral("\\S"))));
        if (panelIndent >= 0 && indent <= panelIndent) panelIndent = -1;
        if (line.contains(QLatin1String("(\"panel\" \"trayer\")"))) {
            panelIndent = indent;
            continue;
        }
        if (panelIndent < 0 || !line.contains(QStringLiteral("(\"%1\" ").arg(windowClass))) continue;
        const auto m = geometry.match(line);
        if (m.hasMatch())
            icons << QRect(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
    }
    return icons;
}

std::optional<QRect> popupMenu(const QString& windowClass) {
    const QStringList ids =
        runTool(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"), windowClass})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // A menu is a window of the program's own, placed by itself (override-redirect) on the
    // root window; the icon is one too, but trayer has taken it into its panel.
    for (const QString& id : ids) {
        const QString info =
            runTool(QStringLiteral("xwininfo"), {QStringLiteral("-children"), QStringLiteral("-id"), id});
        if (!QRegularExpression(QStringLiteral("Parent window id: \\S+ \\(the root window\\)")).match(info).hasMatch())
            continue;
        const WindowState state = windowState(id);
        if (state.viewable && runTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id})
                                  .contains(QLatin1String("Override Redirect State: yes")))
            return state.geometry;
    }
    return std::nullopt;
}

QList<qulonglong> motifHints(const QString& id) {
    const QString line =
        runTool(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_MOTIF_WM_HINTS")});
    QList<qulonglong> values;
    const int equals = int(line.indexOf(QLatin1Char('=')));
    if (equals < 0) return values;
    for (const QString& part : line.mid(equals + 1).split(QLatin1Char(',')))
        values << part.trimmed().toULongLong(nullptr, 0);
    return values;
}

void click(QPoint at, int button, int times) {
    runTool(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                                        QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(times),
                                        QStringLiteral("--delay"), QStringLiteral("80"), QString::number(button)});
}

void typeInto(const QString& id, const QString& text) {
    runTool(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), id,
                                        QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

void pressKeys(const QString& id, const QString& keys) {
    runTool(QStringLiteral("xdotool"),
            {QStringLiteral("windowactivate"), QStringLiteral("--sync"), id, QStringLiteral("key"), keys});
}

}  // namespace velocast::testing
