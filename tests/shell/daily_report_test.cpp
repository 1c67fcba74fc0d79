// The club's daily report: its Portuguese text and CSV rows from a day's outcomes, and
// velocast --report printing them from the send history.
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

#include "settings/local_settings.h"
#include "settings/settings.h"
#include "shell/commands/command_line.h"
#include "report/daily_report.h"
#include "shell/commands/report_command.h"
#include "state/send_history.h"
#include "state/state_database.h"
#include "support/qt_printers.h"
#include "support/stream_text.h"

using namespace velocast;

namespace {

const QDate kDay(2026, 12, 10);

// The fields of one CSV line as a spreadsheet splits it.
QStringList csvFields(const QString& line) {
    QStringList fields{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
            fields.last() += c;
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (c == u',' && !quoted) {
            fields << QString();
        } else {
            fields.last() += c;
        }
    }
    return fields;
}

DayOutcomes sampleDay() {
    DayOutcomes day{kDay, {}, {}};
    CampaignOutcomes birthday{QStringLiteral("ANIVERSARIANTE"), 14};
    birthday.sent = 10;
    birthday.deferred = 2;
    birthday.invalid = 1;
    birthday.suppressed = 1;
    birthday.bounced = 1;
    CampaignOutcomes overdue{QStringLiteral("INADIMPLENTES"), std::nullopt};
    overdue.sent = 3;
    overdue.givenUp = 1;
    day.campaigns = {birthday, overdue};
    day.addresses = {
        {QDateTime(kDay, QTime(10, 15)), QLatin1String(kOutcomeBounced), QStringLiteral("maria@x.br"),
         QStringLiteral("ANIVERSARIANTE"), QStringLiteral("5.1.1 user unknown, mailbox gone")},
        {QDateTime(kDay, QTime(11, 30)), QLatin1String(kOutcomeOptedOut), QStringLiteral("jose@x.br\r\nBcc: y"),
         QString(), QString()},
    };
    return day;
}

}  // namespace

TEST(DailyReport, TextAndCsvCarryTheCountsTheMembersAndTheWarnings) {
    DailyReportInput input{sampleDay(), {QStringLiteral("o limite de envio por hora foi atingido,\nàs 14:00")}, {}};
    input.memberOf = [](const QString& address) -> std::optional<MemberReference> {
        if (address == QLatin1String("maria@x.br")) return MemberReference{QStringLiteral("Maria Silva"), "123"};
        return std::nullopt;
    };
    const DailyReport report = composeDailyReport(input);
    EXPECT_EQ(report.subject, QStringLiteral("Velocast: relatório de e-mails de 10/12/2026"));
    const QStringList lines = report.text.split(u'\n');
    const QStringList expectedLines{
        QStringLiteral("  Campanha        Escritos  Enviados  Adiados  Desistidos  Inválidos  Suprimidos"),
        QStringLiteral("  ANIVERSARIANTE        14        10        2           0          1           1"),
        QStringLiteral("  INADIMPLENTES          -         3        0           1          0           0"),
        QStringLiteral("  Total                  -        13        2           1          1           1"),
        QStringLiteral("  10:15  maria@x.br  Maria Silva (nº 123)  ANIVERSARIANTE  5.1.1 user unknown, mailbox gone"),
        // Nothing from the data breaks a line or starts a header of its own.
        QStringLiteral("  11:30  jose@x.br  Bcc: y  (sem campanha)"),
        QStringLiteral("  - o limite de envio por hora foi atingido, às 14:00"),
    };
    for (const QString& line : expectedLines)
        EXPECT_TRUE(lines.contains(line)) << line.toStdString() << "\n" << report.text.toStdString();

    ASSERT_EQ(report.csvLines.size(), 1 + 2 + 2 + 1);
    const QStringList head = csvFields(report.csvLines[0]);
    for (const QString& line : report.csvLines) EXPECT_EQ(csvFields(line).size(), head.size()) << line.toStdString();
    EXPECT_EQ(csvFields(report.csvLines[1]), (QStringList{"2026-12-10", "campanha", "ANIVERSARIANTE", "14", "10", "2",
                                                          "0", "1", "1", "1", "0", "", "", "", ""}));
    const QStringList bounce = csvFields(report.csvLines[3]);
    EXPECT_EQ(bounce.mid(11), (QStringList{"maria@x.br", "Maria Silva", "123", "5.1.1 user unknown, mailbox gone"}));
    EXPECT_EQ(csvFields(report.csvLines[4])[1], QStringLiteral("descadastrado"));
    EXPECT_EQ(csvFields(report.csvLines[5])[1], QStringLiteral("aviso"));

    // A quiet day says so in every section.
    const DailyReport quiet = composeDailyReport({DayOutcomes{kDay, {}, {}}, {}, {}});
    EXPECT_TRUE(quiet.text.contains(QStringLiteral("Nenhum e-mail registrado neste dia.")));
    EXPECT_EQ(quiet.text.count(QStringLiteral("  Nenhum.")), 3);
    EXPECT_EQ(quiet.csvLines.size(), 1);
}

TEST(DailyReport, CommandLineTakesADateAndAFormatAndRunsAlone) {
    const struct {
        QStringList args;
        bool ok;
    } cases[] = {
        {{"--report"}, true},
        {{"--report", "--date", "2026-12-10", "--format", "csv"}, true},
        {{"--report", "--date", "10/12/2026"}, false},
        {{"--report", "--all"}, false},
        {{"--report", "--history"}, false},
        {{"--report", "--headless"}, false},
        {{"--report", "--check"}, false},
    };
    for (const auto& c : cases) {
        QString error;
        const auto options = parseCommandLine(c.args, &error);
        EXPECT_EQ(options.has_value(), c.ok) << c.args.join(u' ').toStdString() << ": " << error.toStdString();
        if (options) {
            EXPECT_EQ(options->command, Command::Report);
        }
    }
}

TEST(DailyReport, CommandPrintsTheDayFromTheSendHistory) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("state.sqlite"));
    LocalSettings settings;
    settings.set(QStringLiteral("state"), QStringLiteral("database"), path);
    {
        StateDatabase state;
        QString error;
        ASSERT_TRUE(state.open(path, &error)) << error.toStdString();
        SendHistory history(state);
        history.record({QDateTime(kDay, QTime(9, 0)),
                        SendOutcome::Sent,
                        QStringLiteral("ana@x.br"),
                        QStringLiteral("Feliz aniversário"),
                        QStringLiteral("ANIVERSARIANTE"),
                        {},
                        {}});
        history.record(
            {QDateTime(kDay, QTime(9, 30)), SendOutcome::OptedOut, QStringLiteral("bia@x.br"), {}, {}, {}, {}});
    }
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_EQ(runReport({QStringLiteral("/nowhere/Korvana.udl"), kDay, false}, Settings(settings), out, err), 0);
    const QString text = velocast::testing::readAllAndClose(out);
    EXPECT_TRUE(text.startsWith(QStringLiteral("Relatório de e-mails do dia 10/12/2026\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("  ANIVERSARIANTE         -         1"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("  09:30  bia@x.br  (sem campanha)"))) << text.toStdString();
    EXPECT_EQ(velocast::testing::readAllAndClose(err), QString());

    out = std::tmpfile();
    err = std::tmpfile();
    ASSERT_EQ(runReport({QStringLiteral("/nowhere/Korvana.udl"), kDay.addDays(1), true}, Settings(settings), out, err),
              0);
    EXPECT_EQ(velocast::testing::readAllAndClose(out).count(u'\n'), 1);  // the header line alone
    std::fclose(err);

    // A state file that cannot be opened is an error naming it.
    settings.set(QStringLiteral("state"), QStringLiteral("database"), folder.filePath(QStringLiteral("no/such/dir/s")));
    out = std::tmpfile();
    err = std::tmpfile();
    EXPECT_EQ(runReport({QStringLiteral("/nowhere/Korvana.udl"), kDay, false}, Settings(settings), out, err), 1);
    std::fclose(out);
    EXPECT_TRUE(velocast::testing::readAllAndClose(err).startsWith(QStringLiteral("velocast: error: ")));
}
