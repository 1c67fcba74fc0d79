#include <QSqlQuery>

#include "campaign_fixture.h"
#include "campaigns/aniversariante.h"
#include "campaigns/campaign_table.h"
#include "data/session.h"
#include "data/sql_statement.h"

using namespace velocast;
using velocast::testing::CampaignFixture;

namespace {
// A second campaign on the same frame, to show the control row is shared.
class EveryoneWithAnAddress : public Campaign {
public:
    const CampaignColumns& columns() const override { return campaignColumns(CampaignId::AUSENTES); }
    void fill(CampaignRun& run) override {
        run.select(selection, SqlText::same(QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS WHERE EMAIL IS NOT NULL")));
        run.appendOutboxRows(selection);
    }
    Dataset selection;
};

// The rest of the frame: a due rule that reads the settings, a statement without rows inside
// the transaction, and a read on a read-only connection of the campaign's own.
class MarksAndReadsAside : public Campaign {
public:
    const CampaignColumns& columns() const override { return campaignColumns(CampaignId::AUSENTES); }
    bool isDue(const Session& session) const override {
        return session.TBLCONTROLE2.value(QStringLiteral("AUSENTES_DIAS")).toInt() > 0;
    }
    void fill(CampaignRun& run) override {
        run.exec(SqlText::same(QStringLiteral("UPDATE AlunosAtivos SET OBSERVACAO = :OBS")),
                 {{QStringLiteral("OBS"), QStringLiteral("lembrado")}});
        auto own = run.openReadOnlyConnection(QStringLiteral("frame-test-own"));
        run.select(*own, selection,
                   SqlText::same(QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS WHERE OBSERVACAO IS NULL")));
        if (writeAside) runSql(*own, QStringLiteral("DELETE FROM Velocast"));
        run.appendOutboxRows(selection);
    }
    bool writeAside = false;
    Dataset selection;
};
}  // namespace

TEST_F(CampaignFixture, ACampaignMayWriteWithoutRowsAndReadOnAConnectionOfItsOwn) {
    addMember(QStringLiteral("ana@example.com"), QStringLiteral("1990-05-20"));
    startOn(QStringLiteral("2024-05-20 00:00:00"));
    MarksAndReadsAside campaign;

    // Not due: no transaction, no control row.
    ASSERT_TRUE(runCampaign(campaign, *session, notices));
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);

    host.exec(QStringLiteral("UPDATE Qzcvar2 SET AUSENTES_DIAS = 7"));
    startOn(QStringLiteral("2024-05-20 00:00:00"));
    campaign.writeAside = true;  // the own connection refuses to write: the run fails, all rolled back
    EXPECT_FALSE(runCampaign(campaign, *session, notices));
    EXPECT_FALSE(QSqlDatabase::contains(QStringLiteral("frame-test-own")));
    EXPECT_EQ(host.count(QStringLiteral("AlunosAtivos"), QStringLiteral("OBSERVACAO IS NULL")), 1);
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);

    campaign.writeAside = false;
    ASSERT_TRUE(runCampaign(campaign, *session, notices));
    EXPECT_FALSE(QSqlDatabase::contains(QStringLiteral("frame-test-own")));
    // The update was committed with the flag; the read aside did not see it before the commit.
    EXPECT_EQ(host.count(QStringLiteral("AlunosAtivos"), QStringLiteral("OBSERVACAO = 'lembrado'")), 1);
    EXPECT_EQ(outbox(), QStringList{QStringLiteral("ana@example.com")});
}

TEST_F(CampaignFixture, TheControlRowLatchesEachCampaignOncePerBusinessDate) {
    addMember(QStringLiteral("ana@example.com"), QStringLiteral("1990-05-20"));
    startOn(QStringLiteral("2024-05-20 00:00:00"));
    Aniversariante birthdays;
    EveryoneWithAnAddress absentees;

    ASSERT_TRUE(runCampaign(birthdays, *session, notices));
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 1);
    EXPECT_EQ(host.scalar(QStringLiteral("SELECT DATA FROM ControleEmail")).toString(),
              QStringLiteral("2024-05-20 00:00:00"));
    // Only this campaign's flag is set on a row it creates.
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail"),
                         QStringLiteral("ANIVERSARIANTE = 1 AND MEDICA IS NULL AND AUSENTES IS NULL")),
              1);

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
    EXPECT_EQ(host.scalar(QStringLiteral("SELECT DATA FROM ControleEmail")).toString(),
              QStringLiteral("2024-05-20 07:42:13"));
    restart();
    ASSERT_TRUE(runCampaign(birthdays, *session, notices));
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 1);
    EXPECT_EQ(outbox().size(), 1);
}

TEST_F(CampaignFixture, AFailureRollsBackTheFlagAndEveryRow) {
    for (int i = 0; i < 12; ++i) addMember(QStringLiteral("m%1@example.com").arg(i), QStringLiteral("1980-05-20"));
    host.exec(
        QStringLiteral("CREATE TRIGGER full_disk BEFORE INSERT ON Velocast "
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
    host.exec(
        QStringLiteral("UPDATE Qzcvar2 SET ASSUNTO_ANIVERSARIANTE = :s, TEXTO_ANIVERSARIANTE = :t"),
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
    EXPECT_EQ(lookup.mssql,
              QStringLiteral("SELECT * FROM CONTROLEEMAIL WHERE DATA >= '31/12/2024' AND DATA < '01/01/2025'"));
    EXPECT_EQ(lookup.sqlite,
              QStringLiteral("SELECT * FROM CONTROLEEMAIL WHERE DATA >= '2024-12-31' AND DATA < '2025-01-01'"));
    EXPECT_EQ(createRunTableSql(Dialect::Mssql, QStringLiteral("TempFedelidade093015")),
              QStringLiteral("CREATE TABLE TempFedelidade093015\n(MATRICULA NVARCHAR(10), )"));
}

TEST(CampaignTable, HoldsTheCampaignsInTheDailyRunsOrderEachWithItsOwnColumns) {
    const auto steps = campaignTable();
    ASSERT_EQ(steps.size(), std::size_t(kCampaignCount));
    QStringList switches, flags;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const CampaignColumns& c = steps[i]->columns();
        if (i > 0) {
            EXPECT_LT(steps[i - 1]->columns().id, c.id);
        }
        EXPECT_EQ(&c, &campaignColumns(c.id));
        switches << c.switchColumn;
        flags << c.controlFlag;
    }
    EXPECT_EQ(switches.removeDuplicates(), 0);
    EXPECT_EQ(flags.removeDuplicates(), 0);
    EXPECT_EQ(steps[0]->columns().switchColumn, QStringLiteral("MARKETING_MEDICA"));
    EXPECT_EQ(steps[4]->columns().controlFlag, QStringLiteral("TRANCAMENTO"));
    EXPECT_EQ(steps[7]->columns().switchColumn, QStringLiteral("MARKETING_AUSENTES"));
}
