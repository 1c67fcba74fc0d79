#include <QApplication>
#include <QCoreApplication>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <cstdio>
#include <memory>

#include "data/data_link.h"
#include "data/notices.h"
#include "shell/command_line.h"
#include "shell/exit_status.h"
#include "shell/figures_line.h"
#include "shell/main_window.h"
#include "shell/message_box_notices.h"
#include "shell/program.h"
#include "shell/smtp_test_command.h"
#include "shell/termination_signals.h"

using namespace velocast;

namespace {

int runHeadless(const CommandLine& options, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Velocast"));
    StderrNotices notices;
    Program program(options.dataLinkPath, notices);
    quitOnTerminationSignals(&program);
    FiguresLine figures;
    program.showFigure = [&figures](const QString& label, qint32 value) { figures.show(label, value); };
    program.watchdog.pauseBetweenPasses = std::chrono::seconds(5);
    program.serverUnreachable = [](const mail::OutboxSender::KeptForServer& kept) {
        const QString line = QStringLiteral("velocast: warning: %1 e-mail(s) stay in the outbox: SMTP server %2: %3\n")
                                 .arg(kept.rows).arg(kept.server, kept.reason);
        std::fputs(line.toUtf8().constData(), stderr);
        std::fflush(stderr);
    };
    program.build();
    // Without a database the daily run could only add a second error about the closed
    // connection to the one that already says why it did not open.
    const bool opened = program.connection.isOpen();
    if (opened) program.FormCreate();
    if (options.once) {
        // A failed daily run has already asked to end; otherwise drain, then end.
        if (opened && !program.endRequested() && program.Timer2.isActive()) program.drainOnceThenQuit();
        else QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    app.exec();
    program.FormDestroy();
    if (program.failed()) return kExitFailure;
    return program.rowsLeftForServer() > 0 ? kExitServerUnreachable : kExitSuccess;
}

int runWindow(const CommandLine& options, int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Velocast"));
    app.setQuitOnLastWindowClosed(false);
    MessageBoxNotices notices;
    TFRMVelocast window;
    Program program(options.dataLinkPath, notices);
    quitOnTerminationSignals(&program);
    // Without a notification area a hidden window could never be reached again: it is
    // minimised instead.
    program.hideWindow = [&window] {
        if (QSystemTrayIcon::isSystemTrayAvailable()) window.hide();
        else window.showMinimized();
    };
    QSystemTrayIcon tray;
    program.registerIcon = [&tray, &window] {
        QPixmap pixmap(32, 32);
        pixmap.fill(QColor(0x1f, 0x6f, 0xb2));
        tray.setIcon(QIcon(pixmap));
        QObject::connect(&tray, &QSystemTrayIcon::activated, &window, [&window](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick) {
                window.showNormal();
                window.raise();
                window.activateWindow();
            }
        });
        tray.show();
    };
    program.showFigure = [&window](const QString& label, qint32 value) {
        if (QLabel* figure = window.findChild<QLabel*>(label)) figure->setText(formatFigure(value));
    };
    program.build();
    program.FormCreate();
    window.show();
    app.exec();
    program.FormDestroy();
    tray.hide();
    return program.failed() ? kExitFailure : kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    QString error;
    auto options = parseCommandLine(args, &error);
    if (!options) {
        std::fprintf(stderr, "velocast: %s\n", qPrintable(error));
        return kExitUsage;
    }
    if (options->showHelp) {
        std::fputs(qPrintable(commandLineHelp().arg(defaultDataLinkPath())), stdout);
        return 0;
    }
    if (options->showVersion) {
        std::puts("velocast " VELOCAST_VERSION);
        return 0;
    }
    if (options->dataLinkPath.isEmpty()) options->dataLinkPath = defaultDataLinkPath();
    if (!options->testSmtpAddress.isEmpty()) {
        QCoreApplication app(argc, argv);
        return runSmtpTest(options->dataLinkPath, options->testSmtpAddress);
    }
    return options->headless ? runHeadless(*options, argc, argv) : runWindow(*options, argc, argv);
}
