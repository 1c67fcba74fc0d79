#include <QSqlQuery>

#include "campaigns/ausentes.h"
#include "club_fixture.h"

using namespace velocast;
using velocast::testing::ClubFixture;

namespace {

struct AbsenteeCampaign : ClubFixture {
    void visit(const QString& m, const QString& when) {
        host.insert(QStringLiteral("ACESSO"), {{QStringLiteral("MATRICULA"), m}, {QStringLiteral("DATA"), when}});
    }
    Ausentes absentees;
};

DateTime on(const char* text) {
    return DateTime::fromQDateTime(QDateTime::fromString(QLatin1String(text), Qt::ISODate));
}

}  // namespace

TEST_F(AbsenteeCampaign, WorkedExampleOnlyMembersWhoAcceptEMail) {
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET AUSENTES_DIAS = 7"));
    const QString morning = member(QStringLiteral("morning"), {{QStringLiteral("MATRICULA"), QStringLiteral("99")}});
    visit(morning, QStringLiteral("2024-03-08 06:00:00"));  // 6.75 days
    visit(morning, QStringLiteral("2024-02-01 10:00:00"));
    visit(member(QStringLiteral("evening")), QStringLiteral("2024-03-08 19:30:00"));  // 6.19
    visit(member(QStringLiteral("noon")), QStringLiteral("2024-03-08 12:00:00"));     // 6.5, rounds to 6
    member(QStringLiteral("never"));
    const QString blank = member(QStringLiteral("blank"), {{QStringLiteral("EMAIL"), QStringLiteral("")}});
    visit(blank, QStringLiteral("2024-03-08 06:00:00"));
    const QStringList leftOut[] = {
        {QStringLiteral("RECEBER_EMAIL"), QStringLiteral("Não")},
        {QStringLiteral("RECEBER_EMAIL"), QString()},
        {QStringLiteral("EMAIL"), QString()},
        {QStringLiteral("DATA_TRANCAMENTO"), QStringLiteral("2024-02-01 00:00:00")},
        {QStringLiteral("BOLSISTA"), QStringLiteral("1")},
        {QStringLiteral("SITUACAO"), QStringLiteral("N")},
    };
    for (const QStringList& column : leftOut)
        visit(member(QStringLiteral("out"), {{column[0], column[1].isNull() ? QVariant() : QVariant(column[1])}}),
              QStringLiteral("2024-03-08 06:00:00"));
    visit(member(QStringLiteral("future")), QStringLiteral("2024-03-22 00:00:00"));  // -7 days
    // Consent compared as the club's server compares texts: letter case and trailing blanks aside.
    visit(member(QStringLiteral("lower"), {{QStringLiteral("RECEBER_EMAIL"), QStringLiteral("sim ")}}),
          QStringLiteral("2024-03-08 06:00:00"));

    startOn(QStringLiteral("2024-03-15 00:00:00"));
    ASSERT_TRUE(runCampaign(absentees, *session, notices));
    EXPECT_EQ(outbox(),
              QStringList({QString(), QStringLiteral("lower@example.com"), QStringLiteral("morning@example.com")}));
    EXPECT_TRUE(notices.shown.empty());
}

TEST_F(AbsenteeCampaign, TheDayCountAndTheBusinessDatesTimeOfDay) {
    struct Case {
        QVariant days;  // AUSENTES_DIAS
        const char* businessDate;
        const char* latestVisit;
        bool selected;
    };
    const Case cases[] = {
        {QVariant(), "2024-03-15 00:00:00", "2024-03-14 12:00:00", true},  // half a day either side counts as 0
        {QVariant(), "2024-03-15 00:00:00", "2024-03-15 12:00:00", true},
        {0, "2024-03-15 00:00:00", "2024-03-14 11:59:00", false},
        {7, "2024-03-15 18:00:00", "2024-03-08 08:00:00", true},  // 7.42
        {8, "2024-03-16 00:00:00", "2024-03-08 12:00:00", true},  // 7.5 rounds to 8
        {-1, "2024-03-15 00:00:00", "2024-03-16 00:00:00", true},
        {7, "2024-03-15 00:00:00", "2024-03-16 00:00:00", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.businessDate) + " visit " + c.latestVisit + " D=" + c.days.toString().toStdString());
        clear();
        host.exec(QStringLiteral("UPDATE Qzcvar2 SET AUSENTES_DIAS = :d"), {{QStringLiteral("d"), c.days}});
        visit(member(QStringLiteral("member")), QString::fromLatin1(c.latestVisit));
        startOn(QString::fromLatin1(c.businessDate));
        ASSERT_TRUE(runCampaign(absentees, *session, notices));
        EXPECT_EQ(outbox().size(), c.selected ? 1 : 0);
    }
}

TEST(AbsenteeSql, TheStatementWithTheConsentTest) {
    const QString asItWas = QStringLiteral(
        "SELECT DISTINCT A.MATRICULA, MAX(B.DATA) AS DATA, A.EMAIL FROM ALUNOSATIVOS A, ACESSO B WHERE (A.EMAIL IS NOT "
        "NULL ) "
        "AND (A.DATA_TRANCAMENTO IS NULL) AND (A.BOLSISTA = 0) AND (A.MATRICULA = B.MATRICULA) GROUP BY A.MATRICULA, "
        "A.EMAIL ORDER by MATRICULA, DATA Asc ");
    ASSERT_EQ(asItWas.size(), 262);
    QString withConsent = asItWas;
    withConsent.replace(QStringLiteral("(A.EMAIL IS NOT NULL ) AND "),
                        QStringLiteral("(A.EMAIL IS NOT NULL ) AND (A.RECEBER_EMAIL = 'Sim') AND "));
    EXPECT_EQ(Ausentes::selection().mssql, withConsent);
}

TEST(AbsenteeSql, DaysAbsentRoundHalfToEven) {
    struct Case {
        const char *businessDate, *latestVisit;
        std::int64_t days;
    };
    const Case cases[] = {
        {"2024-03-15T00:00:00", "2024-03-08T06:00:00", 7},   // 6.75
        {"2024-03-15T00:00:00", "2024-03-08T19:30:00", 6},   // 6.19
        {"2024-03-15T00:00:00", "2024-03-08T12:00:00", 6},   // 6.5
        {"2024-03-16T00:00:00", "2024-03-08T12:00:00", 8},   // 7.5
        {"2024-03-15T18:00:00", "2024-03-08T08:00:00", 7},   // 7.42
        {"2024-03-15T00:00:00", "2024-03-14T12:00:00", 0},   // 0.5
        {"2024-03-15T00:00:00", "2024-03-15T12:00:00", 0},   // -0.5
        {"2024-03-15T00:00:00", "2024-03-16T12:00:00", -2},  // -1.5
        {"2024-03-15T00:00:00", "2024-03-16T00:00:00", -1},
        // Thirds of a day are no exact fractions, yet their difference is an exact tie.
        {"2024-03-15T20:00:00", "2024-03-09T08:00:00", 6},  // 6.5
        {"2024-03-15T20:00:00", "2024-03-08T08:00:00", 8},  // 7.5
        {"2024-03-15T00:00:00", "1899-12-30T00:00:00", 45366},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Ausentes::daysAbsent(on(c.businessDate), on(c.latestVisit)), c.days)
            << c.businessDate << " " << c.latestVisit;
}
