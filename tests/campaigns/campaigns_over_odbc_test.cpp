#include "campaigns/ausentes.h"
#include "campaigns/fidelidade.h"
#include "campaigns/inadimplentes.h"
#include "campaigns/planos_a_vencer.h"
#include "club_fixture.h"
#include "renewal_fixture.h"
#include "support/qt_printers.h"

using namespace velocast;
using velocast::testing::ClubFixture;

// The way to SQL Server goes through Qt's ODBC driver: named parameters turned into positional
// ones, typed values, a member walk that streams while other statements run. The SQLite ODBC
// driver takes that road on a real database.
TEST_F(ClubFixture, LoyaltyOverdueAndAbsenteesThroughOdbc) {
    dataLink = host.folder() + QStringLiteral("/odbc.udl");
    velocast::testing::writeDataLink(
        dataLink, QStringLiteral("Provider=MSDASQL.1;Extended Properties=\"DRIVER=SQLite3;Database=") + host.path() +
                      QStringLiteral("\""));
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET FIDELIDADE_MESES = 3, AUSENTES_DIAS = 7"));
    host.exec(QStringLiteral("INSERT INTO MENSALIDADES (CODIGO, ACESSOLIVRE) VALUES ('MU', 0)"));

    member(QStringLiteral("loyal"), {{QStringLiteral("MATRICULA"), QStringLiteral("0042")}});
    for (const char* mes : {"01", "02", "03"})
        paid(QStringLiteral("42"), QString::fromLatin1(mes), QStringLiteral("2024"));
    const QString debtor = member(QStringLiteral("debtor"), {{QStringLiteral("MODALIDADE"), QStringLiteral("MU")},
                                                             {QStringLiteral("DIA_VENCIMENTO"), QStringLiteral("01")}});
    host.insert(QStringLiteral("ENTRADASAIDA"), {{QStringLiteral("MATRICULA"), debtor},
                                                 {QStringLiteral("INICIAL"), QStringLiteral("2023-01-01")},
                                                 {QStringLiteral("BOLSISTA"), QStringLiteral("N")},
                                                 {QStringLiteral("ANOMESI"), QStringLiteral("202301")}});
    const QString locked = member(QStringLiteral("locked"), {{QStringLiteral("MODALIDADE"), QStringLiteral("MU")},
                                                             {QStringLiteral("DIA_VENCIMENTO"), QStringLiteral("1")}});
    host.insert(QStringLiteral("ENTRADASAIDA"), {{QStringLiteral("MATRICULA"), locked},
                                                 {QStringLiteral("INICIAL"), QStringLiteral("2023-01-01")},
                                                 {QStringLiteral("BOLSISTA"), QStringLiteral("N")},
                                                 {QStringLiteral("ANOMESI"), QStringLiteral("202301")}});
    host.insert(QStringLiteral("HISTORICOTRANCAMENTO"), {{QStringLiteral("MATRICULA"), locked},
                                                         {QStringLiteral("TRANCAMENTO"), QStringLiteral("2024-04-10")},
                                                         {QStringLiteral("PRAZO"), QStringLiteral("2024-04-30")}});
    const QString absent = member(QStringLiteral("absent"));
    host.insert(QStringLiteral("ACESSO"), {{QStringLiteral("MATRICULA"), absent},
                                           {QStringLiteral("DATA"), QStringLiteral("2024-03-25 06:00:00")}});

    startOn(QStringLiteral("2024-04-01 00:00:00"));
    ASSERT_EQ(connection->database().driverName(), QStringLiteral("QODBC"));
    Fidelidade loyalty;
    Inadimplentes overdue;
    Ausentes absentees;
    for (Campaign* campaign :
         {static_cast<Campaign*>(&loyalty), static_cast<Campaign*>(&overdue), static_cast<Campaign*>(&absentees)})
        EXPECT_TRUE(runCampaign(*campaign, *session, notices))
            << (notices.shown.empty() ? "" : notices.shown.back().detail.toStdString());
    EXPECT_EQ(outbox(), QStringList({QStringLiteral("loyal@example.com"), QStringLiteral("debtor@example.com"),
                                     QStringLiteral("absent@example.com")}));
    EXPECT_EQ(host.strings(QStringLiteral("SELECT ANOMESF FROM ENTRADASAIDA")),
              QStringList({QStringLiteral("202404"), QStringLiteral("202404")}));
}

// In the club the query goes through ODBC, which has no named parameters of its own.
TEST_F(RenewalFixture, RunsThroughOdbcWithItsNamedParameters) {
    host.exec(QStringLiteral("INSERT INTO PLANOS (CODIGO, DESCRICAO) VALUES ('01', 'Mensal')"));
    addPlanMember(QStringLiteral("renew@example.com"), QStringLiteral("01"), {QStringLiteral("12/2024")});
    addPlanMember(QStringLiteral("renewed@example.com"), QStringLiteral("01"),
                  {QStringLiteral("12/2024"), QStringLiteral("01/2025")});
    dataLink = host.folder() + QStringLiteral("/odbc.udl");
    velocast::testing::writeDataLink(
        dataLink, QStringLiteral("Provider=MSDASQL.1;Extended Properties=\"DRIVER=SQLite3;Database=") + host.path() +
                      QStringLiteral("\""));
    startOn(QStringLiteral("2024-12-27 00:00:00"));
    PlanosAVencer renewals;
    ASSERT_TRUE(runCampaign(renewals, *session, notices))
        << (notices.shown.empty() ? "" : notices.shown[0].detail.toStdString());
    EXPECT_EQ(outbox(), QStringList{QStringLiteral("renew@example.com")});
    EXPECT_FALSE(QSqlDatabase::contains(QStringLiteral("QRYPLANOSAVENCER")));
}
