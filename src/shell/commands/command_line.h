#pragma once
// The program's command line. The program itself is configured by the database and by the
// machine's settings file; the command line only picks those files and the mode.
#include <QString>
#include <QStringList>
#include <optional>

namespace velocast {

struct CommandLine {
    bool headless = false;
    bool once = false;
    QString dataLinkPath;            // empty: the default location
    bool dataLinkIsDefault = false;  // set by main once the default location is filled in
    QString configPath;              // --config FILE; empty: velocast.conf beside the data-link file
    QString testSmtpAddress;         // --test-smtp ADDRESS
    bool testSmtp = false;           // --test-smtp was given (its address may be empty, which is refused)
    bool preview = false;            // --preview
    QString previewDate;             // --date YYYY-MM-DD, with --preview or --report
    bool all = false;                // --all, with --preview
    bool history = false;            // --history [ADDRESS]
    QString historyAddress;          // its ADDRESS; empty: every address
    QString since;                   // --since YYYY-MM-DD, with --history
    QString format;                  // --format text|csv, with --preview, --history or --report
    bool report = false;             // --report: the club's daily report of a date
    bool suppressed = false;         // --suppressed: the suppression list
    QString unsuppressAddress;       // --unsuppress ADDRESS: takes it off the list
    bool check = false;              // --check: every setting a run needs, and the SMTP server up to EHLO
    bool authorizeSmtp = false;      // --authorize-smtp: the one-time OAuth sign-in of the mailbox
    bool showHelp = false;
    bool showVersion = false;
};

// Parses arguments (without the program name). On a usage error returns nullopt and sets
// `error` to a sentence that says what to do.
std::optional<CommandLine> parseCommandLine(const QStringList& arguments, QString* error);
QString commandLineHelp();

}  // namespace velocast
