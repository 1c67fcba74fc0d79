#include <QSqlQuery>

#include "campaign_fixture.h"
#include "campaigns/avaliacao.h"

using namespace velocast;
using velocast::testing::CampaignFixture;

namespace {
DateTime day(int y, int m, int d) { return DateTime::fromDate(QDate(y, m, d)); }
}  // namespace

TEST(AvaliacaoSql, SqlServerTextsAreTheOnesTheClubsServerAlwaysReceived) {
    const DateTime business = day(2024, 6, 15);
    EXPECT_EQ(Avaliacao::selection(medicalEvaluation(), day(2023, 12, 15), business).mssql,
              QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS WHERE ((EMAIL IS NOT NULL) AND (EMAIL <> '') AND "
                             "(RECEBER_EMAIL = 'Sim')) AND (DATA_TRANCAMENTO IS NULL) AND ((DATA_MEDICA IS Not NULL) "
                             "AND ((DATA_MEDICA < '15/12/2023') AND (DATEPART(DAY,DATA_MEDICA) = '15')))"));
    EXPECT_EQ(
        Avaliacao::selection(functionalEvaluation(), day(2024, 2, 29), day(2024, 3, 5)).mssql,
        QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS WHERE ((EMAIL IS NOT NULL) AND (EMAIL <> '') AND "
                       "(RECEBER_EMAIL = 'Sim')) AND (DATA_TRANCAMENTO IS NULL) AND ((DATA_FUNCIONAL IS Not NULL) "
                       "AND ((DATA_FUNCIONAL < '29/02/2024') AND (DATEPART(DAY,DATA_FUNCIONAL) = '05')))"));
}

TEST(AvaliacaoLimit, IsThePeriodInMonthsBeforeTheBusinessDateAtMidnight) {
    struct Case {
        QVariant period;
        DateTime business;
        DateTime limit;
    };
    const Case cases[] = {
        {6, day(2024, 6, 15), day(2023, 12, 15)},
        {3, day(2024, 5, 31), day(2024, 2, 29)},
        {QVariant(), DateTime::fromQDateTime(QDateTime(QDate(2024, 3, 10), QTime(14, 30))), day(2024, 3, 10)},
        {QStringLiteral("0"), day(2024, 3, 10), day(2024, 3, 10)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Avaliacao::limitDate(c.period, c.business), c.limit) << c.period.toString().toStdString();
    EXPECT_THROW(Avaliacao::limitDate(QStringLiteral("seis"), day(2024, 6, 15)), std::exception);
}

// Each case: the business date, the period, and members by evaluation date with whether
// they are reminded.
TEST_F(CampaignFixture, EvaluationRemindersSelectOverdueMembersOnTheirAnniversaryDay) {
    struct Member {
        QVariant evaluated;
        bool reminded;
    };
    struct Case {
        const char* business;
        QVariant period;
        std::vector<Member> members;
    };
    const Case cases[] = {
        {"2024-06-15",
         6,
         {{"2023-11-15", true},
          {"2023-10-15 18:20:00", true},
          {"2023-12-15", false},
          {"2023-11-14", false},
          {QVariant(), false}}},
        {"2024-05-31", 3, {{"2024-01-31", true}, {"2023-12-31", true}, {"2024-02-29", false}, {"2024-03-31", false}}},
        {"2024-03-05 09:00:00", QVariant(), {{"2024-02-05", true}, {"2024-03-05", false}, {"2023-03-05", true}}},
    };
    for (const Case& c : cases) {
        clearHost();
        host.exec(QStringLiteral("UPDATE Qzcvar SET PRAZOAVALMED = :p, PRAZOAVALFUN = 120"),
                  {{QStringLiteral("p"), c.period}});
        QStringList expected;
        int n = 0;
        for (const Member& m : c.members) {
            const QString email = QStringLiteral("m%1@example.com").arg(++n);
            // The functional evaluation is always overdue by its own date, never by the period.
            addMember(email,
                      {{QStringLiteral("DATA_MEDICA"), m.evaluated}, {QStringLiteral("DATA_FUNCIONAL"), m.evaluated}});
            if (m.reminded) expected << email;
        }
        startOn(QLatin1String(c.business));
        Avaliacao medical(medicalEvaluation()), functional(functionalEvaluation());
        ASSERT_TRUE(runCampaign(medical, *session, notices));
        EXPECT_EQ(outbox(), expected) << c.business;
        ASSERT_TRUE(runCampaign(functional, *session, notices));  // period 120 months: nobody
        EXPECT_EQ(outbox(), expected) << c.business;
        EXPECT_EQ(host.count(QStringLiteral("ControleEmail"), QStringLiteral("MEDICA = 1 AND FUNCIONAL = 1")), 1);
    }
}

TEST_F(CampaignFixture, EvaluationRemindersSkipMembersWithoutAddressConsentOrWhileLocked) {
    const QVariantMap due{{QStringLiteral("DATA_FUNCIONAL"), QStringLiteral("2023-11-15")}};
    addMember(QStringLiteral("due@example.com"), due);
    addMember(QStringLiteral("twin@example.com"), due);
    addMember(QStringLiteral("twin@example.com"), due);  // a shared address: two rows
    addMember(QString(), due);
    addMember(QStringLiteral(""), due);
    QVariantMap noConsent = due, locked = due;
    noConsent.insert(QStringLiteral("RECEBER_EMAIL"), QStringLiteral("Não"));
    locked.insert(QStringLiteral("DATA_TRANCAMENTO"), QStringLiteral("2024-06-01"));
    addMember(QStringLiteral("noconsent@example.com"), noConsent);
    addMember(QStringLiteral("locked@example.com"), locked);
    host.exec(
        QStringLiteral("UPDATE Qzcvar2 SET ASSUNTO_FUNCIONAL = 'Avaliação física', TEXTO_FUNCIONAL = 'Agende já.', "
                       "ICORPO_MARKETING_FUNCIONAL = ''"));

    startOn(QStringLiteral("2024-06-15 00:00:00"));
    Avaliacao functional(functionalEvaluation());
    ASSERT_TRUE(runCampaign(functional, *session, notices));
    EXPECT_EQ(outbox(), QStringList({QStringLiteral("due@example.com"), QStringLiteral("twin@example.com"),
                                     QStringLiteral("twin@example.com")}));
    EXPECT_EQ(host.scalar(QStringLiteral("SELECT Assunto || '|' || Texto FROM Velocast LIMIT 1")).toString(),
              QStringLiteral("Avaliação física|Agende já."));
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail"), QStringLiteral("FUNCIONAL = 1 AND MEDICA IS NULL")), 1);
}
