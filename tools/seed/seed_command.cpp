#include "seed/seed_command.h"

#include "calendar/clock.h"
#include "seed/demo_database.h"
#include "seed/demo_members.h"

#include <QCommandLineParser>

namespace velocast::seed {
namespace {

// In the program's own words: Qt's generic help would list options the tool does not have
// and name the binary by the path it was started from.
QString seedHelp() {
    return QStringLiteral(
        "Usage: velocast-seed [--members N] [--date YYYY-MM-DD] [--seed S] [--port PORT] [--force] PATH\n"
        "\n"
        "Writes a demo club database for Velocast: a SQLite host database at PATH, the data-link\n"
        "file PATH.udl that points at it and the birthday image PATH.d/parabens.png. The members\n"
        "are made so that every campaign has recipients on the business date.\n"
        "\n"
        "  --members N          number of members (default 200; below 71 not every case is present)\n"
        "  --date YYYY-MM-DD    the business date, the opening of the cash register (default\n"
        "                       today). Plans to renew run only from the 26th, loyalty only on\n"
        "                       the 1st (or the 2nd to 4th after a holiday, e.g. 2025-05-02)\n"
        "  --seed S             the generator's seed: the same seed gives the same data (default 1)\n"
        "  --port PORT          the port of the local SMTP server (127.0.0.1, no TLS) the club's\n"
        "                       settings name (default 2525, the demo's mail catcher)\n"
        "  --force              replace PATH and PATH.udl when they exist\n"
        "  -h, --help           this text\n"
        "  --version            the version\n"
        "\n"
        "Exit status: 0 written, 1 the database could not be written, 2 the command line cannot\n"
        "be used.\n");
}

}  // namespace

int runSeedCommand(const QStringList& arguments, QTextStream& out, QTextStream& err, bool errIsTerminal) {
    QCommandLineParser parser;
    const QCommandLineOption members(QStringLiteral("members"), QString(), QStringLiteral("N"), QStringLiteral("200"));
    const QCommandLineOption date(QStringLiteral("date"), QString(), QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption seed(QStringLiteral("seed"), QString(), QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("PORT"), QStringLiteral("2525"));
    const QCommandLineOption force(QStringLiteral("force"), QString());
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version(QStringLiteral("version"), QString());
    parser.addOptions({members, date, seed, port, force, help, version});

    const auto usageError = [&](const QString& message) {
        err << "velocast-seed: " << message << "\nTry 'velocast-seed --help'.\n";
        err.flush();
        return 2;
    };
    if (!parser.parse(QStringList{QStringLiteral("velocast-seed")} + arguments)) return usageError(parser.errorText());
    if (parser.isSet(help)) {
        out << seedHelp();
        out.flush();
        return 0;
    }
    if (parser.isSet(version)) {
        out << "velocast-seed " << VELOCAST_SEED_VERSION << "\n";
        out.flush();
        return 0;
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.size() != 1)
        return usageError(paths.isEmpty() ? QStringLiteral("the database PATH is missing")
                                          : QStringLiteral("only one PATH may be given"));

    DemoOptions options;
    options.path = paths.first();
    options.force = parser.isSet(force);
    bool ok = false;
    options.members = parser.value(members).toInt(&ok);
    if (!ok || options.members < 0 || options.members > 10'000'000)
        return usageError(
            QStringLiteral("--members wants a whole number from 0 to 10000000, not '%1'").arg(parser.value(members)));
    options.smtpPort = parser.value(port).toInt(&ok);
    if (!ok || options.smtpPort < 1 || options.smtpPort > 65535)
        return usageError(
            QStringLiteral("--port wants a port number from 1 to 65535, not '%1'").arg(parser.value(port)));
    options.seed = parser.value(seed).toULongLong(&ok);
    if (!ok)
        return usageError(QStringLiteral("--seed wants a whole number from 0 to 18446744073709551615, not '%1'")
                              .arg(parser.value(seed)));
    if (parser.isSet(date)) {
        options.date = QDate::fromString(parser.value(date), QStringLiteral("yyyy-MM-dd"));
        if (!options.date.isValid() || options.date.year() < 1900 || options.date.year() > 9998)
            return usageError(QStringLiteral("--date wants a date YYYY-MM-DD between 1900 and 9998, not '%1'")
                                  .arg(parser.value(date)));
    } else {
        options.date = localNow().date();
    }

    // A small club is written before anyone would wonder; a large one takes seconds to minutes.
    constexpr int kProgressFrom = 10'000;
    int lastTenth = -1;
    if (options.members >= kProgressFrom) {
        options.progress = [&](int done, int total) {
            const int percent = int(qint64(done) * 100 / total);
            if (errIsTerminal) {
                err << "\rvelocast-seed: writing members " << percent << "%";
            } else if (percent / 10 != lastTenth) {
                lastTenth = percent / 10;
                err << "velocast-seed: writing members " << percent << "%\n";
            }
            err.flush();
        };
    }
    QString error;
    const bool written = writeDemoDatabase(options, &error);
    if (options.progress && errIsTerminal) {
        err << "\rvelocast-seed: writing members 100%\n";
        err.flush();
    }
    if (!written) {
        err << "velocast-seed: " << error << "\n";
        err.flush();
        return 1;
    }
    const DemoFiles files = demoFiles(options.path);
    out << "Wrote " << files.database << ": " << options.members << " members, business date "
        << options.date.toString(QStringLiteral("yyyy-MM-dd")) << ", seed " << options.seed << "\n"
        << "Data link: " << files.dataLink << "\n"
        << "Birthday image: " << files.image << "\n";
    if (options.members < roleCycleLength())
        out << "Note: with fewer than " << roleCycleLength() << " members not every excluded case is present.\n";
    out.flush();
    return 0;
}

}  // namespace velocast::seed
