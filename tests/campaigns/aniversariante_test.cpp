#include <QSqlQuery>

#include "campaign_fixture.h"
#include "campaigns/aniversariante.h"

using namespace velocast;
using velocast::testing::CampaignFixture;

TEST_F(CampaignFixture, GreetsExactlyTheMembersBornOnTheBusinessDay) {
    addMember(QStringLiteral("leap@example.com"), QStringLiteral("2000-02-29"));
    addMember(QStringLiteral("march@example.com"), QStringLiteral("1985-03-01 14:30:00"));
    addMember(QStringLiteral("locked@example.com"), QStringLiteral("1972-02-29"), QStringLiteral("Sim"),
              QStringLiteral("2024-01-10"));
    addMember(QString(), QStringLiteral("1999-02-29"));              // no address
    addMember(QStringLiteral(""), QStringLiteral("1999-02-29"));     // empty address
    addMember(QStringLiteral("   "), QStringLiteral("1999-02-29"));  // blanks: empty to SQL Server
    addMember(QStringLiteral("no@example.com"), QStringLiteral("1999-02-29"), QStringLiteral("Não"));
    // SQL Server's default collation reads these as 'Sim'.
    addMember(QStringLiteral("lower@example.com"), QStringLiteral("1999-02-29"), QStringLiteral("sim"));
    addMember(QStringLiteral("blank@example.com"), QStringLiteral("1999-02-29"), QStringLiteral("Sim "));
    addMember(QStringLiteral("nobirth@example.com"), QString());

    startOn(QStringLiteral("2024-02-29 00:00:00"));
    Aniversariante birthdays;
    ASSERT_TRUE(runCampaign(birthdays, *session, notices));
    QStringList got = outbox();
    got.sort();
    EXPECT_EQ(got, QStringList({QStringLiteral("blank@example.com"), QStringLiteral("leap@example.com"),
                                QStringLiteral("locked@example.com"), QStringLiteral("lower@example.com")}));
    EXPECT_EQ(host.scalar(QStringLiteral(
                              "SELECT Assunto || '|' || Texto || '|' || IMAGEM_CORPO_MARKETING FROM Velocast LIMIT 1"))
                  .toString(),
              QStringLiteral("Feliz aniversário!|Parabéns de toda a equipe.|/srv/bolo.png"));

    // A common year's 1 March greets only those born on 1 March.
    host.exec(QStringLiteral("DELETE FROM Velocast"));
    startOn(QStringLiteral("2023-03-01 00:00:00"));
    ASSERT_TRUE(runCampaign(birthdays, *session, notices));
    EXPECT_EQ(outbox(), QStringList{QStringLiteral("march@example.com")});
}

TEST(AniversarianteSql, SqlServerTextIsTheOneTheClubsServerAlwaysReceived) {
    const SqlText sql = Aniversariante::selection(DateTime::fromDate(QDate(2024, 3, 5)));
    EXPECT_EQ(
        sql.mssql,
        QStringLiteral(
            "SELECT EMAIL FROM ALUNOSATIVOS WHERE ((EMAIL IS NOT NULL) AND (EMAIL <> '') AND (RECEBER_EMAIL = 'Sim')) "
            "AND (DATEPART(MONTH, DATA_NASCIMENTO) = '03') AND DATEPART(DAY, DATA_NASCIMENTO) = '05'"));
}
