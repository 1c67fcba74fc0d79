#include "seed/seed_command.h"

#include "calendar/clock.h"
#include "seed/demo_database.h"
#include "seed/demo_members.h"

#include <QCommandLineParser>

namespace velocast::seed {

int runSeedCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a demo club database for Velocast: a SQLite host database at PATH, the data-link\n"
        "file PATH.udl that points at it and the birthday image PATH.d/parabens.png.\n"
        "The members are made so that every campaign has recipients on the business date."));
    parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("The database file to write."));
    const QCommandLineOption members(QStringLiteral("members"),
                                     QStringLiteral("Number of members (default 200)."),
                                     QStringLiteral("N"), QStringLiteral("200"));
    const QCommandLineOption date(QStringLiteral("date"),
                                  QStringLiteral("Business date, the opening of the cash register (default today). Every "
                                                 "campaign finds members on it where its day rule lets it run: plan "
                                                 "renewals only from the 26th, loyalty only on the 1st (or on the 2nd to "
                                                 "4th after a holiday of the demo's list, such as 2025-05-02)."),
                                  QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the generator: the same seed gives the same data (default 1)."),
                                  QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("Replace PATH and PATH.udl when they exist."));
    parser.addOptions({members, date, seed, force});
    const QCommandLineOption help = parser.addHelpOption();

    const auto usageError = [&](const QString& message) {
        err << "velocast-seed: " << message << "\nTry 'velocast-seed --help'.\n";
        err.flush();
        return 2;
    };
    if (!parser.parse(QStringList{QStringLiteral("velocast-seed")} + arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        out << parser.helpText();
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
        return usageError(QStringLiteral("--members wants a whole number from 0 to 10000000, not '%1'")
                              .arg(parser.value(members)));
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

    QString error;
    if (!writeDemoDatabase(options, &error)) {
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
        out << "Note: with fewer than " << roleCycleLength()
            << " members not every excluded case is present.\n";
    out.flush();
    return 0;
}

}  // namespace velocast::seed
