#include "shell/commands/command_line.h"

#include <QCoreApplication>
#include <QDate>

namespace velocast {

namespace {

struct CommandOption {
    Command command;
    const char* option;
};

const CommandOption kCommandOptions[] = {
    {Command::Check, "--check"},           {Command::Preview, "--preview"},
    {Command::History, "--history"},       {Command::Report, "--report"},
    {Command::Suppressed, "--suppressed"}, {Command::Unsuppress, "--unsuppress"},
    {Command::TestSmtp, "--test-smtp"},    {Command::AuthorizeSmtp, "--authorize-smtp"},
};

}  // namespace

QString commandOption(Command command) {
    for (const CommandOption& c : kCommandOptions)
        if (c.command == command) return QLatin1String(c.option);
    return QString();
}

std::optional<CommandLine> parseCommandLine(const QStringList& arguments, QString* error) {
    CommandLine options;
    // The first mode option given, to name it when a command comes with it.
    QString modeOption;
    // A command option sets the command once; a second one is refused by name.
    auto take = [&](Command command) {
        if (options.command == Command::Resident || options.command == command) {
            options.command = command;
            return true;
        }
        *error = QCoreApplication::translate("CommandLine", "%1 and %2 are two commands; run them one at a time")
                     .arg(commandOption(options.command), commandOption(command));
        return false;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        auto value = [&](const char* name) -> std::optional<QString> {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).startsWith(QLatin1String("--"))) {
                *error =
                    QCoreApplication::translate("CommandLine", "%1 needs a value; see --help").arg(QLatin1String(name));
                return std::nullopt;
            }
            return arguments.at(++i);
        };
        if (arg == QLatin1String("--headless")) {
            options.headless = true;
            if (modeOption.isEmpty()) modeOption = arg;
        } else if (arg == QLatin1String("--once")) {
            options.once = true;
            if (modeOption.isEmpty()) modeOption = arg;
        } else if (arg == QLatin1String("--data-link")) {
            auto v = value("--data-link");
            if (!v) return std::nullopt;
            options.dataLinkPath = *v;
        } else if (arg.startsWith(QLatin1String("--data-link="))) {
            options.dataLinkPath = arg.mid(12);
        } else if (arg == QLatin1String("--config")) {
            auto v = value("--config");
            if (!v) return std::nullopt;
            options.configPath = *v;
        } else if (arg.startsWith(QLatin1String("--config="))) {
            options.configPath = arg.mid(9);
        } else if (arg == QLatin1String("--test-smtp")) {
            auto v = value("--test-smtp");
            if (!v) return std::nullopt;
            options.testSmtpAddress = *v;
            if (!take(Command::TestSmtp)) return std::nullopt;
        } else if (arg == QLatin1String("--check")) {
            if (!take(Command::Check)) return std::nullopt;
        } else if (arg == QLatin1String("--authorize-smtp")) {
            if (!take(Command::AuthorizeSmtp)) return std::nullopt;
        } else if (arg == QLatin1String("--preview")) {
            if (!take(Command::Preview)) return std::nullopt;
        } else if (arg == QLatin1String("--history")) {
            if (!take(Command::History)) return std::nullopt;
            // An address may follow; an option may not be taken for one.
            if (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith(QLatin1String("--")))
                options.historyAddress = arguments.at(++i);
        } else if (arg == QLatin1String("--report")) {
            if (!take(Command::Report)) return std::nullopt;
        } else if (arg == QLatin1String("--suppressed")) {
            if (!take(Command::Suppressed)) return std::nullopt;
        } else if (arg == QLatin1String("--unsuppress")) {
            auto v = value("--unsuppress");
            if (!v) return std::nullopt;
            if (v->trimmed().isEmpty()) {
                *error = QStringLiteral("--unsuppress needs the address to take off the list");
                return std::nullopt;
            }
            options.unsuppressAddress = *v;
            if (!take(Command::Unsuppress)) return std::nullopt;
        } else if (arg == QLatin1String("--since")) {
            auto v = value("--since");
            if (!v) return std::nullopt;
            options.since = *v;
        } else if (arg == QLatin1String("--all")) {
            options.all = true;
        } else if (arg == QLatin1String("--date")) {
            auto v = value("--date");
            if (!v) return std::nullopt;
            options.previewDate = *v;
        } else if (arg == QLatin1String("--format")) {
            auto v = value("--format");
            if (!v) return std::nullopt;
            if (*v != QLatin1String("text") && *v != QLatin1String("csv")) {
                *error = QCoreApplication::translate("CommandLine", "--format takes text or csv, not \"%1\"").arg(*v);
                return std::nullopt;
            }
            options.format = *v;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.showHelp = true;
        } else if (arg == QLatin1String("--version")) {
            options.showVersion = true;
        } else {
            *error = QCoreApplication::translate("CommandLine", "unknown argument \"%1\"; see --help").arg(arg);
            return std::nullopt;
        }
    }
    if (options.command != Command::Resident && !modeOption.isEmpty()) {
        *error =
            QCoreApplication::translate("CommandLine", "%1 runs alone; %2 is for the resident program, not a command")
                .arg(commandOption(options.command), modeOption);
        return std::nullopt;
    }
    if (options.once && !options.headless) {
        *error = QCoreApplication::translate("CommandLine", "--once works only with --headless");
        return std::nullopt;
    }
    const bool preview = options.command == Command::Preview;
    const bool history = options.command == Command::History;
    const bool report = options.command == Command::Report;
    if (!preview && options.all) {
        *error = QCoreApplication::translate("CommandLine", "--all works only with --preview");
        return std::nullopt;
    }
    if (!preview && !report && !options.previewDate.isEmpty()) {
        *error = QCoreApplication::translate("CommandLine", "--date works only with --preview or --report");
        return std::nullopt;
    }
    if (!preview && !history && !report && options.command != Command::Suppressed && !options.format.isEmpty()) {
        *error = QCoreApplication::translate("CommandLine",
                                             "--format works only with --preview, --history, --report or --suppressed");
        return std::nullopt;
    }
    if (!options.since.isEmpty() && !history) {
        *error = QCoreApplication::translate("CommandLine", "--since works only with --history");
        return std::nullopt;
    }
    if (!options.since.isEmpty() && !QDate::fromString(options.since, Qt::ISODate).isValid()) {
        *error = QCoreApplication::translate("CommandLine", "--since wants a date YYYY-MM-DD, not \"%1\"")
                     .arg(options.since);
        return std::nullopt;
    }
    if (!options.previewDate.isEmpty() && !QDate::fromString(options.previewDate, Qt::ISODate).isValid()) {
        *error = QCoreApplication::translate("CommandLine", "--date wants a date YYYY-MM-DD, not \"%1\"")
                     .arg(options.previewDate);
        return std::nullopt;
    }
    return options;
}

QString commandLineHelp() {
    return QCoreApplication::translate(
        "CommandLine",
        "Usage: velocast [--headless [--once]] [--data-link FILE] [--config FILE]\n"
        "       velocast --test-smtp ADDRESS [--data-link FILE] [--config FILE]\n"
        "       velocast --authorize-smtp [--data-link FILE] [--config FILE]\n"
        "       velocast --preview [--date YYYY-MM-DD] [--all] [--format text|csv] [--data-link FILE]\n"
        "       velocast --history [ADDRESS] [--since YYYY-MM-DD] [--format text|csv] [--data-link FILE]\n"
        "       velocast --report [--date YYYY-MM-DD] [--format text|csv] [--data-link FILE]\n"
        "       velocast --suppressed [--format text|csv] [--data-link FILE]\n"
        "       velocast --unsuppress ADDRESS [--data-link FILE]\n"
        "       velocast --check [--data-link FILE] [--config FILE]\n"
        "\n"
        "Velocast writes the club's daily e-mail campaigns into the outbox of the club's\n"
        "database and sends them through the SMTP account stored in its settings.\n"
        "\n"
        "  --data-link FILE     the data-link (.udl) file that names the database\n"
        "                       (default: %1)\n"
        "  --config FILE        the machine's settings file (TLS trust, attachment folders,\n"
        "                       pacing; default: velocast.conf beside the data-link file)\n"
        "  --headless           run without a window; notices and figures go to stderr\n"
        "  --once               with --headless: run the day's campaigns, send the outbox,\n"
        "                       then end\n"
        "  --test-smtp ADDRESS  send one test e-mail to ADDRESS with the stored SMTP account\n"
        "                       and print the SMTP dialogue (passwords and tokens masked)\n"
        "  --authorize-smtp     sign the club's mailbox in once with OAuth 2.0 ([oauth] in\n"
        "                       velocast.conf): shows an address and a code to enter on\n"
        "                       any device with a browser, then stores the sign-in\n"
        "  --preview            list, per campaign, who would get which e-mail on the business\n"
        "                       date; each campaign runs inside a transaction that is rolled\n"
        "                       back, so nothing is written, latched or sent (a running copy\n"
        "                       waits at most for one campaign's transaction)\n"
        "  --date YYYY-MM-DD    with --preview: another business date than the cash register's;\n"
        "                       with --report: another day than today\n"
        "  --all                with --preview: the campaigns switched off too\n"
        "  --history [ADDRESS]  what became of the e-mails (sent with the server's reply and\n"
        "                       Message-ID, refused, invalid, deferred, given up), newest\n"
        "                       first, to ADDRESS (any letter case) or to everyone; kept on\n"
        "                       this machine for [history] retention_days of velocast.conf\n"
        "  --since YYYY-MM-DD   with --history: only from that day on\n"
        "  --report             the club's daily report of the send history: per campaign the\n"
        "                       e-mails sent, deferred, given up, invalid and suppressed, the\n"
        "                       addresses bounced and opted out, as the [report] e-mail has it\n"
        "  --suppressed         the addresses no e-mail goes to (address, scope, reason, date,\n"
        "                       source): gone by the delivery reports, or opted out\n"
        "  --unsuppress ADDRESS take ADDRESS off that list once the member's record is fixed\n"
        "  --format text|csv    with --preview, --history, --report or --suppressed: a listing\n"
        "                       (default) or CSV lines\n"
        "  --check              check every setting a run needs (database, settings row, cash\n"
        "                       session, SMTP account, campaign texts and pictures) and say\n"
        "                       EHLO to the SMTP server, sign in to the [mailbox] and open its\n"
        "                       folder; one line per check, marked \u2713 or\n"
        "                       \u2717 with what to change; sends and writes nothing\n"
        "  --help               this text\n"
        "  --version            the program's version\n"
        "\n"
        "Exit status:\n"
        "   0  the program ended and nothing failed\n"
        "   1  something failed (it was reported on screen or on stderr)\n"
        "   2  the command line, the settings file or the --test-smtp address cannot be\n"
        "      used\n"
        "  75  --once: nothing failed, but e-mails stay in the outbox because the SMTP\n"
        "      server (or the OAuth token endpoint) could not be reached; a later run\n"
        "      sends them\n"
        "  78  a setting only a person can fix: --check found one, or --once kept e-mails\n"
        "      for a port, host name or TLS mode that cannot work\n"
        " 128+n ended by signal n (SIGTERM, SIGINT, SIGHUP) after the teardown (--once)\n");
}

}  // namespace velocast
