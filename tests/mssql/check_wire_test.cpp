#include <cstdio>

#include "settings/settings.h"
#include "shell/commands/check_command.h"
#include "support/stream_text.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;

// On SQL Server the check reads the settings and the cash register through the same ODBC
// road as a run (the business date from a datetime column) and writes nothing.
TEST(CheckOnTheWire, ReadsTheSettingsAndTheBusinessDateAndWritesNothing) {
    WireSession wire(sessionRules({{QStringLiteral("STMP_PROVEDOR"), QStringLiteral("smtp.example.com:587")},
                                   {QStringLiteral("IdSMTP_UseTLS"), QStringLiteral("utUseRequireTLS")},
                                   {QStringLiteral("EMAIL_PROVEDOR"), QStringLiteral("academia@example.com")}},
                                  {}, {{QStringLiteral("PRAZOAVALMED"), 6}}));
    std::FILE* out = std::tmpfile();
    const int status = runCheck(wire.peer.dataLinkPath(), Settings(), out);
    const QString printed = readAllAndClose(out);
    EXPECT_EQ(status, 78) << printed.toStdString();
    EXPECT_TRUE(printed.contains(QStringLiteral("\u2713 Caixa: business date 2024-05-20\n"))) << printed.toStdString();
    // The one thing wrong: the port after a colon. The server is not tried with it.
    EXPECT_EQ(printed.count(QStringLiteral("\n\u2717 ")), 1) << printed.toStdString();
    EXPECT_TRUE(printed.contains(QStringLiteral("\u2717 Qzcvar2.STMP_PROVEDOR: \"smtp.example.com:587\" has no \"*\"")))
        << printed.toStdString();
    for (const QString& line : wire.ours())
        EXPECT_FALSE(line.contains(QLatin1String("INSERT")) || line.contains(QLatin1String("UPDATE")) ||
                     line.contains(QLatin1String("CREATE")) || line.contains(QLatin1String("DELETE")))
            << line.toStdString();
}
