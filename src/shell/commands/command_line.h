#pragma once
// The program's command line. The program itself is configured by the database and by the
// machine's settings file; the command line only picks those files and the mode.
#include <QString>
#include <QStringList>
#include <optional>

namespace velocast {

// What one start of the program does: the resident program (in a window, or headless), or one
// of the one-shot commands, which run and end.
enum class Command { Resident, Check, Preview, History, Report, Suppressed, Unsuppress, TestSmtp, AuthorizeSmtp };

// The option that names a one-shot command ("--check"); empty for the resident program.
QString commandOption(Command command);

struct CommandLine {
    Command command = Command::Resident;
    bool headless = false;
    bool once = false;
    QString dataLinkPath;            // empty: the default location
    bool dataLinkIsDefault = false;  // set by main once the default location is filled in
    QString configPath;              // --config FILE; empty: velocast.conf beside the data-link file
    QString testSmtpAddress;         // --test-smtp ADDRESS
    QString previewDate;             // --date YYYY-MM-DD, with --preview or --report
    bool all = false;                // --all, with --preview
    QString historyAddress;          // its ADDRESS; empty: every address
    QString since;                   // --since YYYY-MM-DD, with --history
    QString unsuppressAddress;       // --unsuppress ADDRESS: takes it off the suppression list
    QString format;                  // --format text|csv, with --preview, --history, --report or --suppressed
    bool showHelp = false;
    bool showVersion = false;
};

// Parses arguments (without the program name). On a usage error returns nullopt and sets
// `error` to a sentence that says what to do. Two commands, or a command with an option of
// the resident program (--headless, --once), are refused: one start does one thing.
std::optional<CommandLine> parseCommandLine(const QStringList& arguments, QString* error);
QString commandLineHelp();

}  // namespace velocast
