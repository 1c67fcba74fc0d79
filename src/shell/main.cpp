#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "data/club_identity.h"
#include "data/data_link.h"
#include "notices/notices.h"
#include "data/sql_server_driver.h"
#include "data/sql_server_encryption.h"
#include "settings/settings.h"
#include "notices/log_line.h"
#include "shell/commands/check_command.h"
#include "platform/core_dumps.h"
#include "shell/commands/command_line.h"
#include "shell/desktop/display_check.h"
#include "platform/exit_status.h"
#include "data/data_link_check.h"
#include "shell/desktop/first_run_dialog.h"
#include "shell/desktop/desktop_console.h"
#include "shell/headless_mode.h"
#include "shell/commands/history_command.h"
#include "shell/commands/report_command.h"
#include "shell/commands/suppression_command.h"
#include "mailbox/mailbox_setup.h"
#include "shell/desktop/main_window.h"
#include "shell/desktop/message_box_notices.h"
#include "shell/desktop/program_icon.h"
#include "shell/commands/preview_command.h"
#include "outbox/sending/oauth_settings.h"
#include "platform/single_instance.h"
#include "shell/commands/smtp_authorization_command.h"
#include "shell/commands/smtp_test_command.h"
#include "platform/termination_signals.h"
#include "outbox/sending/tls_settings.h"
#include "shell/translations.h"
#include "shell/window_mode.h"

using namespace velocast;

namespace {

// The process ends here after a termination signal; the stack it was called from (a notice,
// a drain) is not returned to.
[[noreturn]] void endProcess(int status) {
    std::fflush(nullptr);
    ::_exit(status);
}

// The guard of this program on the data link's database, in the account's private folder
// (`folderError` set when there is none).
std::unique_ptr<SingleInstance> guardFor(const QString& dataLinkPath, QString* folderError) {
    return std::make_unique<SingleInstance>(
        instanceName(programIdentity(QCoreApplication::applicationFilePath()), clubIdentity(dataLinkPath).text),
        guardFolder(folderError));
}

// Takes the single-instance guard. Returns false when this copy must end (`status` set).
// `secondCopyLine` gets the running copy's process id as %1.
bool takeGuard(SingleInstance& guard, const QString& folderError, const QString& secondCopyLine, int* status) {
    QString error = folderError;
    switch (folderError.isEmpty() ? guard.acquire(&error) : SingleInstance::Outcome::Failed) {
    case SingleInstance::Outcome::First: return true;
    case SingleInstance::Outcome::AnotherRuns: {
        const qint64 pid = guard.runningProcessId();
        writeLogLine(LogPriority::Info,
                     QStringLiteral("velocast: ") +
                         secondCopyLine.arg(pid > 0 ? QString::number(pid) : QStringLiteral("unknown")));
        *status = kExitSuccess;
        return false;
    }
    case SingleInstance::Outcome::Failed: break;
    }
    // Without the guard a second copy could send every message twice: better not to run.
    writeLogLine(LogPriority::Error,
                 QStringLiteral("velocast: error: ") +
                     QCoreApplication::translate("Main", "the single-instance guard %1 could not be taken: %2")
                         .arg(guard.serverPath(), error));
    *status = kExitFailure;
    return false;
}

int runHeadless(const CommandLine& options, const Settings& settings, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    useSystemLanguage();
    app.setApplicationName(QStringLiteral("Velocast"));
    QString folderError;
    const auto guarding = guardFor(options.dataLinkPath, &folderError);
    SingleInstance& guard = *guarding;
    int status = 0;
    if (!takeGuard(guard, folderError,
                   QCoreApplication::translate(
                       "Main", "another copy (process %1) is already running on this database; this one ends"),
                   &status))
        return status;
    StderrNotices notices;
    HeadlessMode run(options.dataLinkPath, notices, settings, options.once);
    onTerminationSignals(&run, [&](int signal) {
        const int ended = run.finishAtOnce(signal);
        guard.release();
        endProcess(ended);
    });
    run.start();
    app.exec();
    return run.finish();
}

int runWindow(const CommandLine& options, const Settings& settings, int argc, char** argv) {
    QApplication app(argc, argv);
    useSystemLanguage();
    app.setApplicationName(QStringLiteral("Velocast"));
    app.setQuitOnLastWindowClosed(false);
    // Before anything else: a second copy only brings the first one forward.
    QString folderError;
    const auto guarding = guardFor(options.dataLinkPath, &folderError);
    SingleInstance& guard = *guarding;
    int status = 0;
    if (!takeGuard(guard, folderError,
                   QCoreApplication::translate(
                       "Main", "already running on this database (process %1); its window was brought forward"),
                   &status))
        return status;
    releaseDesktopConsole();
    app.setWindowIcon(programIcon());
    QString dataLinkPath = options.dataLinkPath;
    // A default file that cannot be used (a wrong file kept by an earlier start) is chosen
    // again like a missing one; a file given on the command line is the caller's to mend.
    const QString unusable =
        options.dataLinkIsDefault && QFileInfo::exists(dataLinkPath) ? dataLinkFileProblem(dataLinkPath) : QString();
    if (!QFileInfo::exists(dataLinkPath) || !unusable.isEmpty()) {
        FirstRunChoice choice;
        {
            // The dialog waits for a person; an end signal must not wait with it.
            QObject dialogScope;
            onTerminationSignals(&dialogScope, [&](int) {
                guard.release();
                endProcess(kExitSuccess);
            });
            choice = askForDataLink(dataLinkPath, options.dataLinkIsDefault, {}, unusable);
        }
        if (!choice.note.isEmpty()) writeLogLine(LogPriority::Info, QStringLiteral("velocast: ") + choice.note);
        if (choice.dataLinkPath.isEmpty()) {
            writeLogLine(
                LogPriority::Error,
                unusable.isEmpty()
                    ? QStringLiteral("velocast: ") +
                          QCoreApplication::translate("Main", "no data-link file at %1; ended at the person's choice")
                              .arg(QDir::toNativeSeparators(dataLinkPath))
                    : QStringLiteral("velocast: ") +
                          QCoreApplication::translate("Main",
                                                      "the data-link file %1 cannot be used (%2); "
                                                      "ended at the person's choice")
                              .arg(QDir::toNativeSeparators(dataLinkPath), unusable));
            return kExitFailure;
        }
        dataLinkPath = choice.dataLinkPath;
    }
    MessageBoxNotices notices;
    // The database and the mail servers are waited for on a thread of the run's own: the
    // window, the tray menu and the other copies' requests are answered meanwhile.
    WindowMode run(dataLinkPath, notices, settings, ProgramThread::Where::OwnThread);
    QObject::connect(&guard, &SingleInstance::raiseRequested, &run.window, &TFRMVelocast::pmnuiOpenClick);
    onTerminationSignals(&run, [&](int) {
        run.finishAtOnce();
        guard.release();
        endProcess(run.program.failed() ? kExitFailure : kExitSuccess);
    });
    run.start();
    app.exec();
    if (!run.finish()) {
        // The run was cut short in a wait (its row rolled back) and goes no further.
        guard.release();
        endProcess(run.program.failed() ? kExitFailure : kExitSuccess);
    }
    return run.program.failed() ? kExitFailure : kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
    forbidCoreDumps();
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    QString error;
    auto options = parseCommandLine(args, &error);
    if (!options || options->showHelp) {
        // Said in the person's language, which needs an application object.
        QCoreApplication app(argc, argv);
        useSystemLanguage();
        options = parseCommandLine(args, &error);
        if (!options) {
            std::fprintf(stderr, "velocast: %s\n", qPrintable(error));
            return kExitUsage;
        }
        std::fputs(qPrintable(commandLineHelp().arg(defaultDataLinkPath())), stdout);
        return 0;
    }
    if (options->showVersion) {
        std::printf("velocast %s\n", qPrintable(programVersion()));
        return 0;
    }
    options->dataLinkIsDefault = options->dataLinkPath.isEmpty();
    if (options->dataLinkPath.isEmpty()) options->dataLinkPath = defaultDataLinkPath();
    if (options->configPath.isEmpty()) options->configPath = LocalSettings::defaultPath(options->dataLinkPath);
    // Read before anything runs: a settings file that says something the program does not
    // understand must not leave it running on defaults the club did not choose.
    const auto settings = Settings::load(options->configPath, &error);
    if (!settings || !tlsPolicyFromSettings(*settings, &error)) {
        writeLogLine(LogPriority::Error, QStringLiteral("velocast: error: ") + error);
        return kExitUsage;
    }
    if (oauthSettings(*settings, &error); !error.isEmpty()) {
        writeLogLine(LogPriority::Error, QStringLiteral("velocast: error: ") + error);
        return kExitUsage;
    }
    if (const QString problem = mailboxSettingsProblem(*settings); !problem.isEmpty()) {
        writeLogLine(LogPriority::Error, QStringLiteral("velocast: error: ") + problem);
        return kExitUsage;
    }
    forceSqlServerOdbcDriver(settings->database.odbcDriver);
    setSqlServerCaFile(settings->database.caFile);
    switch (options->command) {
    case Command::Resident: break;
    case Command::Preview: {
        QCoreApplication app(argc, argv);
        useSystemLanguage();
        PreviewOptions preview;
        preview.dataLinkPath = options->dataLinkPath;
        preview.date = QDate::fromString(options->previewDate, Qt::ISODate);
        preview.all = options->all;
        preview.csv = options->format == QLatin1String("csv");
        return runPreview(preview);
    }
    case Command::History: {
        QCoreApplication app(argc, argv);
        useSystemLanguage();
        return runHistory({options->dataLinkPath, options->historyAddress,
                           QDate::fromString(options->since, Qt::ISODate), options->format == QLatin1String("csv")},
                          *settings);
    }
    case Command::Suppressed: {
        QCoreApplication app(argc, argv);
        return runSuppressed(options->dataLinkPath, options->format == QLatin1String("csv"), *settings);
    }
    case Command::Unsuppress: {
        QCoreApplication app(argc, argv);
        return runUnsuppress(options->dataLinkPath, options->unsuppressAddress, *settings);
    }
    case Command::Report: {
        QCoreApplication app(argc, argv);
        return runReport({options->dataLinkPath, QDate::fromString(options->previewDate, Qt::ISODate),
                          options->format == QLatin1String("csv")},
                         *settings);
    }
    case Command::Check: {
        QCoreApplication app(argc, argv);
        useSystemLanguage();
        return runCheck(options->dataLinkPath, *settings);
    }
    case Command::TestSmtp: {
        QCoreApplication app(argc, argv);
        useSystemLanguage();
        return runSmtpTest(options->dataLinkPath, options->testSmtpAddress, *settings);
    }
    case Command::AuthorizeSmtp: {
        QCoreApplication app(argc, argv);
        useSystemLanguage();
        return runSmtpAuthorization(options->dataLinkPath, *settings);
    }
    }
    catchTerminationSignals();
    if (options->headless) return runHeadless(*options, *settings, argc, argv);
    // Checked before Qt is started: without a display it would abort with its own text.
    if (const QString missing = missingDisplay(); !missing.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(noDisplayMessage(missing)));
        return kExitUsage;
    }
    return runWindow(*options, *settings, argc, argv);
}
