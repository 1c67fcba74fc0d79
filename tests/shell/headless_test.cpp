#include <gtest/gtest.h>

#include "support/host_database.h"
#include "support/velocast_process.h"

using velocast::testing::HostDatabase;
using velocast::testing::runBuiltProgram;

TEST(Headless, ABadDataLinkFileIsReportedWithItsPathAndFailsTheRun) {
    HostDatabase host;
    const QString missing = host.folder() + QStringLiteral("/nowhere.udl");
    const auto result = runBuiltProgram(QStringLiteral("velocast"), {QStringLiteral("--headless"), QStringLiteral("--once"),
                                                                     QStringLiteral("--data-link"), missing});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.err.contains(QStringLiteral("velocast: error: caption=\"Velocast\" text=\"data-link file ") + missing)) << result.err.toStdString();
    EXPECT_TRUE(result.err.contains(QLatin1String("does not exist"))) << result.err.toStdString();
    // The reason the database did not open is all there is to say.
    EXPECT_EQ(result.err.count(QLatin1String("velocast: ")), 1) << result.err.toStdString();
}

TEST(Headless, OnceRunsTheDayAndASecondStartAddsNothingWhileUnreachableServerKeepsTheRowsWithItsOwnStatus) {
    HostDatabase host;
    host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20 08:15:00")}});
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET MARKETING_ANIVERSARUANETE = 'Sim', ASSUNTO_ANIVERSARIANTE = 'Parabéns'"));
    host.insert(QStringLiteral("AlunosAtivos"), {{QStringLiteral("MATRICULA"), QStringLiteral("1")},
                                                 {QStringLiteral("EMAIL"), QStringLiteral("ana@example.com")},
                                                 {QStringLiteral("RECEBER_EMAIL"), QStringLiteral("Sim")},
                                                 {QStringLiteral("DATA_NASCIMENTO"), QStringLiteral("1990-05-20")}});
    // Nobody listens on port 1: the row stays, and the run says so instead of passing for a
    // success, so that a timer or script knows the mail did not go out.
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1'"));
    const QStringList args{QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), host.dataLinkPath()};
    for (int start = 0; start < 2; ++start) {
        const auto result = runBuiltProgram(QStringLiteral("velocast"), args);
        EXPECT_EQ(result.exitCode, 75) << result.err.toStdString();
        EXPECT_FALSE(result.err.contains(QLatin1String("notice"))) << result.err.toStdString();
        EXPECT_EQ(result.err.count(QLatin1String("velocast: warning: ")), 1) << result.err.toStdString();
        EXPECT_TRUE(result.err.contains(QLatin1String(
            "velocast: warning: 1 e-mail(s) stay in the outbox: SMTP server 127.0.0.1:1: Socket Error # 111: Connection refused\n")))
            << result.err.toStdString();
    }
    EXPECT_EQ(host.count(QStringLiteral("Velocast"), QStringLiteral("Email = 'ana@example.com'")), 1);
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail"), QStringLiteral("ANIVERSARIANTE = 1")), 1);
    EXPECT_EQ(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 0);
}

TEST(Headless, AFailingCampaignIsNoticedAndEndsTheRunWithAFailureStatus) {
    HostDatabase host;
    host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20")}});
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET MARKETING_ANIVERSARUANETE = 'Sim'"));
    host.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON ControleEmail BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    const auto result = runBuiltProgram(QStringLiteral("velocast"), {QStringLiteral("--headless"), QStringLiteral("--once"),
                                                                     QStringLiteral("--data-link"), host.dataLinkPath()});
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.err.contains(QStringLiteral("velocast: notice: caption=\"Velocast\" text=\"Gravando na tabela !\" detail=\"Velocast\"")))
        << result.err.toStdString();
    EXPECT_EQ(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 0);
}
