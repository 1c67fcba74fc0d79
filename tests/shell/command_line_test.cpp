#include <QStringList>
#include <gtest/gtest.h>

#include "shell/commands/command_line.h"

using namespace velocast;

namespace {

// One start does one thing: each row is a command line and either the command it runs or a
// word the refusal must hold, so that the person reads which options do not go together.
TEST(CommandLine, RunsOneCommandAndRefusesCombinationsByName) {
    struct Case {
        QStringList args;
        std::optional<Command> command;  // nullopt: refused
        const char* said = "";           // refused: the line names these
        const char* alsoSaid = "";
    };
    const Case cases[] = {
        {{}, Command::Resident},
        {{"--headless"}, Command::Resident},
        {{"--headless", "--once", "--data-link", "club.udl", "--config", "v.conf"}, Command::Resident},
        {{"--check", "--data-link", "club.udl", "--config", "v.conf"}, Command::Check},
        {{"--preview", "--date", "2026-03-01", "--all", "--format", "csv"}, Command::Preview},
        {{"--history", "ana@example.com", "--since", "2026-03-01"}, Command::History},
        {{"--test-smtp", "a@b.example"}, Command::TestSmtp},
        {{"--authorize-smtp", "--config", "v.conf"}, Command::AuthorizeSmtp},
        {{"--report", "--date", "2026-03-01", "--format", "csv"}, Command::Report},
        {{"--suppressed", "--format", "csv"}, Command::Suppressed},
        {{"--unsuppress", "ana@example.com"}, Command::Unsuppress},
        // Two commands.
        {{"--preview", "--test-smtp", "x@y.example"}, std::nullopt, "--preview", "--test-smtp"},
        {{"--test-smtp", "x@y.example", "--preview"}, std::nullopt, "--test-smtp", "--preview"},
        {{"--check", "--history"}, std::nullopt, "--check", "--history"},
        {{"--authorize-smtp", "--test-smtp", "x@y.example"}, std::nullopt, "--authorize-smtp", "--test-smtp"},
        {{"--history", "--preview"}, std::nullopt, "--history", "--preview"},
        {{"--report", "--suppressed"}, std::nullopt, "--report", "--suppressed"},
        {{"--unsuppress", "ana@example.com", "--check"}, std::nullopt, "--unsuppress", "--check"},
        {{"--suppressed", "--headless"}, std::nullopt, "--suppressed", "--headless"},
        {{"--unsuppress", " "}, std::nullopt, "--unsuppress", "address"},
        {{"--suppressed", "--date", "2026-03-01"}, std::nullopt, "--date", "--report"},
        // A mode option with a command, in either order.
        {{"--headless", "--test-smtp", "x@y.example"}, std::nullopt, "--test-smtp", "--headless"},
        {{"--check", "--headless"}, std::nullopt, "--check", "--headless"},
        {{"--preview", "--once"}, std::nullopt, "--preview", "--once"},
        {{"--history", "--headless", "--once"}, std::nullopt, "--history", "--headless"},
        {{"--authorize-smtp", "--headless"}, std::nullopt, "--authorize-smtp", "--headless"},
        // Options of one command with another, or alone.
        {{"--once"}, std::nullopt, "--once", "--headless"},
        {{"--check", "--all"}, std::nullopt, "--all", "--preview"},
        {{"--test-smtp", "x@y.example", "--format", "csv"}, std::nullopt, "--format"},
        {{"--preview", "--since", "2026-03-01"}, std::nullopt, "--since", "--history"},
        {{"--test-smtp"}, std::nullopt, "--test-smtp", "value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        QString error;
        const auto options = parseCommandLine(c.args, &error);
        ASSERT_EQ(options.has_value(), c.command.has_value()) << error.toStdString();
        if (options) {
            EXPECT_EQ(options->command, *c.command);
            continue;
        }
        EXPECT_FALSE(error.contains(u'\n'));
        EXPECT_TRUE(error.contains(QLatin1String(c.said))) << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(c.alsoSaid))) << error.toStdString();
    }
}

}  // namespace
