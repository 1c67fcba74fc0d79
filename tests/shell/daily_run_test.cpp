#include <algorithm>
#include <gtest/gtest.h>

#include "campaigns/fidelidade_due.h"
#include "notices/notices.h"
#include "data/session.h"
#include "campaigns/daily_run.h"
#include "support/session_test.h"

using namespace velocast;

namespace {
struct DailyRunFixture : velocast::testing::SessionTest {
    DailyRun run{session, notices};
    std::vector<DailyRun::CampaignDone> done;

    DailyRunFixture() {
        run.campaignDone = [this](const DailyRun::CampaignDone& d) { done.push_back(d); };
    }

    void SetUp() override { connection.open(); }
    void TearDown() override { session.teardown(); }

    void onDate(const char* date) {
        host.insert(QStringLiteral("Caixa"), {{QStringLiteral("DATAABERTURA"), QLatin1String(date)}});
    }
};
}  // namespace

TEST_F(DailyRunFixture, SwitchesAreOnOnlyForSimExactly) {
    onDate("2024-05-20");
    host.exec(
        QStringLiteral("UPDATE Qzcvar2 SET MARKETING_MEDICA = 'sim', MARKETING_FUNCIONAL = 'SIM', "
                       "MARKETING_ANIVERSARUANETE = 'Sim', MARKETING_PLANO = 'Sim '"));
    ASSERT_TRUE(session.ABRE_TABELAS());
    EXPECT_FALSE(run.switchIsOn(QStringLiteral("MARKETING_MEDICA")));
    EXPECT_FALSE(run.switchIsOn(QStringLiteral("MARKETING_FUNCIONAL")));
    EXPECT_TRUE(run.switchIsOn(QStringLiteral("MARKETING_ANIVERSARUANETE")));
    EXPECT_FALSE(run.switchIsOn(QStringLiteral("MARKETING_PLANO")));
    EXPECT_FALSE(run.switchIsOn(QStringLiteral("MARKETING_AUSENTES")));  // NULL
}

TEST_F(DailyRunFixture, AllSwitchesOffOpensTheSessionAndRunsNothing) {
    onDate("2024-05-20");
    const DailyRun::Result result = run.FormCreate();
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_TRUE(result.sessionOpened);
    EXPECT_EQ(result.campaignsFailed, 0);
    EXPECT_TRUE(done.empty());
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);
}

TEST_F(DailyRunFixture, AFailingCampaignIsFollowedByTheOthersAndTheEndRequest) {
    onDate("2024-05-20");
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET MARKETING_ANIVERSARUANETE = 'Sim', MARKETING_AUSENTES = 'Sim'"));
    // The birthday campaign fails to write (its table refuses rows); the next one still runs.
    host.exec(
        QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON ControleEmail WHEN NEW.ANIVERSARIANTE = 1 "
                       "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    auto birthdays = std::move(*std::find_if(run.campaigns.begin(), run.campaigns.end(), [](const CampaignStep& c) {
        return c->columns().id == CampaignId::ANIVERSARIANTE;
    }));
    run.campaigns.clear();
    run.campaigns.push_back(std::move(birthdays));
    struct Absentees : Campaign {
        const CampaignColumns& columns() const override { return campaignColumns(CampaignId::AUSENTES); }
        void fill(CampaignRun&) override { ran = true; }
        bool ran = false;
    };
    auto absentees = std::make_unique<Absentees>();
    Absentees* ausentes = absentees.get();
    run.campaigns.push_back(std::move(absentees));

    const DailyRun::Result result = run.FormCreate();
    ASSERT_EQ(notices.shown.size(), 1u);
    EXPECT_EQ(notices.shown[0].text, kGravandoNaTabela);
    EXPECT_EQ(result.campaignsFailed, 1);
    // The failure is told as it happens, before the next campaign runs.
    ASSERT_EQ(done.size(), 2u);
    EXPECT_FALSE(done[0].finished);
    EXPECT_TRUE(done[1].finished);
    EXPECT_TRUE(ausentes->ran);
}

TEST_F(DailyRunFixture, AFailedSessionOpeningRunsNoCampaign) {
    onDate("2024-05-20");
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET MARKETING_ANIVERSARUANETE = 'Sim'"));
    host.exec(QStringLiteral("DROP TABLE AlunosAtivos"));  // the last step fails, after the settings opened
    const DailyRun::Result result = run.FormCreate();
    ASSERT_EQ(notices.shown.size(), 2u);
    EXPECT_TRUE(notices.shown[0].detail.startsWith(QStringLiteral("Alunos\n")))
        << notices.shown[0].detail.toStdString();
    EXPECT_EQ(notices.shown[1].text, kContateSuporte);
    EXPECT_EQ(notices.shown[1].detail, QStringLiteral("Problema na Rede ou não está Ativa !"));
    EXPECT_FALSE(result.sessionOpened);
    EXPECT_TRUE(done.empty());
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);
}

TEST_F(DailyRunFixture, TheLoyaltyStepRunsOnlyOnLoyaltyDays) {
    struct Case {
        const char* date;
        const char* holidays;
        bool due;
    };
    const Case cases[] = {
        {"2024-06-01", "", true},      {"2024-05-02", "01/05", true},  {"2024-05-02", "", false},
        {"2024-06-04", "03/06", true}, {"2024-06-04", "01/06", false}, {"2024-06-05", "04/06", false},
    };
    for (const Case& c : cases) {
        host.exec(QStringLiteral("DELETE FROM Caixa"));
        onDate(c.date);
        host.exec(QStringLiteral("UPDATE Qzcvar SET FERIADOS = '%1'").arg(QLatin1String(c.holidays)));
        for (Dataset* d : {&session.TBLCAIXA, &session.TBLCONTROLE}) d->close();
        session.teardown();
        Session fresh(connection, notices);
        clock.advance();
        ASSERT_TRUE(fresh.ABRE_TABELAS());
        EXPECT_EQ(loyaltyDayDue(fresh), c.due) << c.date << " " << c.holidays;
        fresh.teardown();
    }
}

// No settings row or no cash-register session: nothing may run (no latch for 30/12/1899), and
// the run must not pass for a success.
TEST_F(DailyRunFixture, NoSettingsRowOrNoCashSessionIsNoticedAndLatchesNothing) {
    struct Case {
        const char* breakIt;
        const char* detail;
    };
    const Case cases[] = {
        {"DELETE FROM Caixa", "Caixa\nno cash-register session"},
        {"DELETE FROM Qzcvar2", "Controle2\nthe settings table Qzcvar2 has no row"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.breakIt);
        host.exec(QStringLiteral("UPDATE Qzcvar2 SET MARKETING_ANIVERSARUANETE = 'Sim'"));
        host.exec(QLatin1String(c.breakIt));
        session.teardown();  // the next opening reads the tables again
        notices.shown.clear();
        const DailyRun::Result result = run.FormCreate();
        ASSERT_EQ(notices.shown.size(), 1u);
        EXPECT_EQ(notices.shown[0].text, kContateSuporte);
        EXPECT_TRUE(notices.shown[0].detail.startsWith(QLatin1String(c.detail)))
            << notices.shown[0].detail.toStdString();
        EXPECT_TRUE(result.nothingToRun);  // the program ends on it, as on a failed opening
        EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);
        // Mended for the next case.
        host.exec(QStringLiteral(
            "INSERT INTO Qzcvar2 (STMP_PROVEDOR) SELECT '127.0.0.1*2525' WHERE NOT EXISTS (SELECT 1 FROM Qzcvar2)"));
        onDate("2024-05-20");
    }
}
