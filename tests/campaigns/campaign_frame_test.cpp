#include <QSqlQuery>

#include "campaign_fixture.h"
#include "campaigns/aniversariante.h"
#include "data/session.h"

using namespace velocast;
using velocast::testing::CampaignFixture;

namespace {
// A second campaign on the same frame, to show the control row is shared.
class EveryoneWithAnAddress : public Campaign {
public:
    const CampaignColumns& columns() const override {
        static const CampaignColumns c{QStringLiteral("AUSENTES"), QStringLiteral("AUSENTES"),
                                       QStringLiteral("ASSUNTO_AUSENTES"), QStringLiteral("TEXTO_AUSENTES"),
                                       QStringLiteral("ICORPO_MARKETING_AUSENTES")};
        return c;
    }
    void fill(CampaignRun& run) override {
        const QString sql = QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS WHERE EMAIL IS NOT NULL");
        run.select(selection, {sql, sql});
        run.appendOutboxRows(selection);
    }
    Dataset selection;
};
}  // namespace

TEST_F(CampaignFixture, TheControlRowLatchesEachCampaignOncePerBusinessDate) {
    addMember(QStringLiteral("ana@example.com"), QStringLiteral("1990-05-20"));
    startOn(QStringLiteral("2024-05-20 00:00:00"));
    Aniversariante birthdays;
    EveryoneWithAnAddress absentees;

    ASSERT_TRUE(runCampaign(birthdays, *session, notices));
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 1);
    EXPECT_EQ(host.scalar(QStringLiteral("SELECT DATA FROM ControleEmail")).toString(), QStringLiteral("2024-05-20 00:00:00"));
    // Only this campaign's flag is set on a row it creates.
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail"), QStringLiteral("ANIVERSARIANTE = 1 AND MEDICA IS NULL AND AUSENTES IS NULL")), 1);

    ASSERT_TRUE(runCampaign(absentees, *session, notices));
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 1);  // the same row, edited
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail"), QStringLiteral("ANIVERSARIANTE = 1 AND AUSENTES = 1")), 1);

    // Already done: nothing more, no notice.
    ASSERT_TRUE(runCampaign(birthdays, *session, notices));
    EXPECT_EQ(outbox(), QStringList({QStringLiteral("ana@example.com"), QStringLiteral("ana@example.com")}));
    EXPECT_TRUE(notices.shown.empty());
}

TEST_F(CampaignFixture, AFlagLeftNullIsClaimedAndAnEmptySelectionStillCommitsIt) {
    host.exec(QStringLiteral("INSERT INTO ControleEmail (DATA, MEDICA) VALUES ('2024-05-20 00:00:00', 1)"));
    startOn(QStringLiteral("2024-05-20 00:00:00"));
    Aniversariante birthdays;
    ASSERT_TRUE(runCampaign(birthdays, *session, notices));
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 1);
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail"), QStringLiteral("MEDICA = 1 AND ANIVERSARIANTE = 1")), 1);
    EXPECT_TRUE(outbox().isEmpty());
}

TEST_F(CampaignFixture, ABusinessDateWithATimeOfDayIsFoundAgainAtTheNextStart) {
    addMember(QStringLiteral("ana@example.com"), QStringLiteral("1990-05-20"));
    startOn(QStringLiteral("2024-05-20 07:42:13"));
    Aniversariante birthdays;
    ASSERT_TRUE(runCampaign(birthdays, *session, notices));
    EXPECT_EQ(host.scalar(QStringLiteral("SELECT DATA FROM ControleEmail")).toString(), QStringLiteral("2024-05-20 07:42:13"));
    restart();
    ASSERT_TRUE(runCampaign(birthdays, *session, notices));
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 1);
    EXPECT_EQ(outbox().size(), 1);
}

TEST_F(CampaignFixture, AFailureRollsBackTheFlagAndEveryRow) {
    for (int i = 0; i < 12; ++i) addMember(QStringLiteral("m%1@example.com").arg(i), QStringLiteral("1980-05-20"));
    host.exec(QStringLiteral("CREATE TRIGGER full_disk BEFORE INSERT ON Velocast "
                             "WHEN (SELECT COUNT(*) FROM Velocast) >= 9 BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    startOn(QStringLiteral("2024-05-20 00:00:00"));
    Aniversariante birthdays;
    EXPECT_FALSE(runCampaign(birthdays, *session, notices));
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);
    ASSERT_EQ(notices.shown.size(), 1u);
    EXPECT_EQ(notices.shown[0].text, QStringLiteral("Gravando na tabela !"));
    EXPECT_EQ(notices.shown[0].detail, QStringLiteral("Velocast"));
    EXPECT_FALSE(connection->inTransaction());
}

TEST_F(CampaignFixture, OutboxValuesAreCutToTheOutboxWidths) {
    const QString longAddress = QString(33, QLatin1Char('a')) + QStringLiteral("@example.com");  // 45
    addMember(longAddress, QStringLiteral("1990-05-20"));
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET ASSUNTO_ANIVERSARIANTE = :s, TEXTO_ANIVERSARIANTE = :t"),
              {{QStringLiteral("s"), QString(60, QLatin1Char('s'))}, {QStringLiteral("t"), QString(3000, QLatin1Char('t'))}});
    startOn(QStringLiteral("2024-05-20 00:00:00"));
    Aniversariante birthdays;
    ASSERT_TRUE(runCampaign(birthdays, *session, notices));
    EXPECT_EQ(outbox(), QStringList{longAddress.left(40)});
    EXPECT_EQ(host.scalar(QStringLiteral("SELECT LENGTH(Assunto) FROM Velocast")).toInt(), 50);
    EXPECT_EQ(host.scalar(QStringLiteral("SELECT LENGTH(Texto) FROM Velocast")).toInt(), 3000);
}

TEST(CampaignSql, SqlServerReadsTheBusinessDayFirstAndMatchesTheWholeDay) {
    const SqlText lookup = controlRecordLookup(DateTime::fromQDateTime(QDateTime(QDate(2024, 12, 31), QTime(7, 42))));
    EXPECT_EQ(lookup.mssql, QStringLiteral("SELECT * FROM CONTROLEEMAIL WHERE DATA >= '31/12/2024' AND DATA < '01/01/2025'"));
    EXPECT_EQ(lookup.sqlite, QStringLiteral("SELECT * FROM CONTROLEEMAIL WHERE DATA >= '2024-12-31' AND DATA < '2025-01-01'"));
    EXPECT_EQ(createRunTableSql(Dialect::Mssql, QStringLiteral("TempFedelidade093015")),
              QStringLiteral("CREATE TABLE TempFedelidade093015\n(MATRICULA NVARCHAR(10), )"));
}
