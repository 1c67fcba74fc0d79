#include <QRegularExpression>
#include <QSqlQuery>
#include <algorithm>

#include "campaigns/fidelidade.h"
#include "campaigns/fidelidade_batch.h"
#include "club_fixture.h"
#include "statement_trace.h"

using namespace velocast;
using velocast::testing::ClubFixture;
using velocast::testing::StatementTrace;

namespace {

struct LoyaltyCampaign : ClubFixture {
    void SetUp() override {
        ClubFixture::SetUp();
        host.exec(QStringLiteral("UPDATE Qzcvar2 SET FIDELIDADE_MESES = 3"));
    }
    QStringList runTable() {
        QStringList rows = host.strings(QStringLiteral("SELECT MATRICULA FROM ") + session->runTableName());
        rows.sort();
        return rows;
    }
    QStringList sortedOutbox() {
        QStringList rows = outbox();
        rows.sort();
        return rows;
    }
    // The months the payment lookups examined, as "MM YYYY", in the order the statements
    // name them (each month once), and how many statements asked.
    static std::pair<QStringList, qsizetype> monthsLookedUp(const StatementTrace& trace) {
        static const QRegularExpression month(
            QStringLiteral("CAST\\(MES AS INTEGER\\) = (\\d+) AND CAST\\(ANO AS INTEGER\\) = (\\d+)"));
        QStringList months;
        const QStringList statements = trace.containing(QStringLiteral("FROM RECEB"));
        for (const QString& s : statements)
            for (const QRegularExpressionMatch& m : month.globalMatch(s)) {
                const QString text =
                    QStringLiteral("%1 %2").arg(m.captured(1).toInt(), 2, 10, QLatin1Char('0')).arg(m.captured(2));
                if (!months.contains(text)) months << text;
            }
        return {months, statements.size()};
    }
    Fidelidade loyalty;
};

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

}  // namespace

TEST_F(LoyaltyCampaign, ThanksTheCandidatesWhoPaidEachOfTheLastMonthsOldestFirst) {
    for (const bool numericReceipts : {false, true}) {
        SCOPED_TRACE(numericReceipts ? "MES and ANO numbers" : "MES and ANO text");
        clear();
        if (numericReceipts) useNumericReceipts();
        const auto pay = [&](const QString& m, std::initializer_list<int> months) {
            for (int month : months)
                if (numericReceipts) paid(m, month, 2024);
                else paid(m, QStringLiteral("%1").arg(month, 2, 10, QLatin1Char('0')), QStringLiteral("2024"));
        };
        const QString loyal = member(QStringLiteral("loyal"));
        pay(loyal, {1, 2, 3});
        const QString twice = member(QStringLiteral("twice"));
        pay(twice, {1, 1, 2, 3, 3});
        const QString gap = member(QStringLiteral("gap"));
        pay(gap, {1, 3, 4});
        const QString late = member(QStringLiteral("late"));
        pay(late, {2, 3, 4});
        // A 13th month of 2023 is no January 2024, nor is month 0 of 2024 a December.
        const QString odd = member(QStringLiteral("odd"));
        pay(odd, {0, 2, 3});
        if (numericReceipts) paid(odd, 13, 2023);
        else paid(odd, QStringLiteral("13"), QStringLiteral("2023"));
        member(QStringLiteral("zeros"), {{QStringLiteral("MATRICULA"), QStringLiteral("00123")}});
        paid(QStringLiteral("123"), 1, 2024);
        paid(QStringLiteral("00123"), QStringLiteral("02"), QStringLiteral("2024"));
        paid(QStringLiteral("0123"), QStringLiteral("3"), QStringLiteral("2024"));
        const QString plan = member(QStringLiteral("plan"), {{QStringLiteral("PLANOS"), QStringLiteral("01")}});
        pay(plan, {1, 2, 3});
        const QString emptyPlan = member(QStringLiteral("emptyplan"), {{QStringLiteral("PLANOS"), QStringLiteral("")}});
        pay(emptyPlan, {1, 2, 3});
        const QString blank = member(QStringLiteral("blank"), {{QStringLiteral("EMAIL"), QStringLiteral("")}});
        pay(blank, {1, 2, 3});
        const QString noAddress = member(QString());
        pay(noAddress, {1, 2, 3});
        const QString refuses =
            member(QStringLiteral("refuses"), {{QStringLiteral("RECEBER_EMAIL"), QStringLiteral("Não")}});
        pay(refuses, {1, 2, 3});
        // Registration numbers no lookup could take: had they been looked up, the run fails.
        member(QStringLiteral("left"), {{QStringLiteral("MATRICULA"), QStringLiteral("L-7")},
                                        {QStringLiteral("SAIDA"), QStringLiteral("2024-03-20 00:00:00")}});
        member(QStringLiteral("scholar"),
               {{QStringLiteral("MATRICULA"), QStringLiteral("B-8")}, {QStringLiteral("BOLSISTA"), 1}});
        const QString inactive =
            member(QStringLiteral("inactive"), {{QStringLiteral("SITUACAO"), QStringLiteral("N")}});
        pay(inactive, {1, 2, 3});

        startOn(QStringLiteral("2024-04-01 00:00:00"));
        host.exec(QStringLiteral("INSERT INTO %1 (MATRICULA) VALUES ('stale')").arg(session->runTableName()));
        StatementTrace trace(QStringLiteral("campaign-test"));
        ASSERT_TRUE(runCampaign(loyalty, *session, notices));

        EXPECT_EQ(sortedOutbox(),
                  sorted({QString(), QStringLiteral("emptyplan@example.com"), QStringLiteral("loyal@example.com"),
                          QStringLiteral("twice@example.com"), QStringLiteral("zeros@example.com")}));
        EXPECT_EQ(runTable(),
                  sorted({QStringLiteral("00123"), loyal, twice, plan, emptyPlan, blank, noAddress, refuses}));
        EXPECT_TRUE(notices.shown.empty());

        // On SQLite one statement asks about every candidate: January to March 2024, oldest first.
        const auto [months, statements] = monthsLookedUp(trace);
        EXPECT_EQ(months,
                  (QStringList{QStringLiteral("01 2024"), QStringLiteral("02 2024"), QStringLiteral("03 2024")}));
        EXPECT_EQ(statements, 1);
        EXPECT_TRUE(trace.containing(QStringLiteral("L-7")).isEmpty());
        EXPECT_TRUE(trace.containing(QStringLiteral("B-8")).isEmpty());
    }
}

// More candidates than one batch holds, and a number too large for 64 bits among them: the
// run table gets the loyal ones in the order of the walk, as when each was looked up alone.
TEST_F(LoyaltyCampaign, BatchesKeepTheWalksOrder) {
    QStringList expected;
    const int count = 2 * LoyaltyBatch::kSize + 7;
    host.exec(QStringLiteral("BEGIN"));
    for (int i = 0; i < count; ++i) {
        const QString m = member(QStringLiteral("m%1").arg(i));
        // Every third member misses February; every fifth paid under a zero-padded number.
        const QString stored = i % 5 == 0 ? QStringLiteral("%1").arg(m, 8, QLatin1Char('0')) : m;
        for (const char* mes : {"01", "02", "03"})
            if (!(i % 3 == 0 && QByteArray(mes) == "02"))
                paid(stored, QString::fromLatin1(mes), QStringLiteral("2024"));
        if (i % 3 != 0) expected << m;
        if (i == LoyaltyBatch::kSize + 3) {
            const QString huge =
                member(QStringLiteral("huge"), {{QStringLiteral("MATRICULA"), QStringLiteral("99999999999999999999")}});
            for (const char* mes : {"01", "02", "03"}) paid(huge, QString::fromLatin1(mes), QStringLiteral("2024"));
            expected << huge;
        }
    }
    host.exec(QStringLiteral("COMMIT"));
    host.exec(
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_RECEB_MATRICULA ON RECEB (MATRICULA)"));  // as clubs have it
    startOn(QStringLiteral("2024-04-01 00:00:00"));
    ASSERT_TRUE(runCampaign(loyalty, *session, notices));
    EXPECT_EQ(host.strings(QStringLiteral("SELECT MATRICULA FROM ") + session->runTableName() +
                           QStringLiteral(" ORDER BY rowid")),
              expected);
}

TEST_F(LoyaltyCampaign, MonthCountAndLoyaltyDays) {
    struct Case {
        const char* businessDate;
        QVariant months;  // FIDELIDADE_MESES
        bool due;
        QStringList lookedUp;  // the months the lookups examine
    };
    const Case cases[] = {
        {"2024-04-01 00:00:00", 0, true, {}},
        {"2024-04-01 00:00:00", QVariant(), true, {}},
        {"2024-04-01 00:00:00", -2, true, {}},
        {"2024-04-01 00:00:00", 1, true, {QStringLiteral("03 2024")}},
        // The 2nd after the New Year holiday: the count reaches into the year before.
        {"2024-01-02 00:00:00", 2, true, {QStringLiteral("11 2023"), QStringLiteral("12 2023")}},
        {"2024-02-01 00:00:00", 2, true, {QStringLiteral("12 2023"), QStringLiteral("01 2024")}},
        {"2024-04-05 00:00:00", 0, false, {}},
    };
    host.exec(QStringLiteral("UPDATE Qzcvar SET FERIADOS = '01/0121/04'"));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.businessDate) + " N=" + c.months.toString().toStdString());
        clear();
        host.exec(QStringLiteral("UPDATE Qzcvar2 SET FIDELIDADE_MESES = :n"), {{QStringLiteral("n"), c.months}});
        const QString first = member(QStringLiteral("paid"));
        for (const char* ym : {"2023-11", "2023-12", "2024-01", "2024-03"})
            paid(first, QString::fromLatin1(ym).mid(5), QString::fromLatin1(ym).left(4));
        member(QStringLiteral("never"));  // no payment at all
        // Month 0 of 2024 is no December 2023, nor month 13 of 2023 a January 2024.
        const QString odd = member(QStringLiteral("odd"));
        for (const char* ym : {"2023-11", "2024-00", "2023-13"})
            paid(odd, QString::fromLatin1(ym).mid(5), QString::fromLatin1(ym).left(4));

        startOn(QString::fromLatin1(c.businessDate));
        StatementTrace trace(QStringLiteral("campaign-test"));
        ASSERT_TRUE(runCampaign(loyalty, *session, notices));
        if (!c.due) {
            EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);
            EXPECT_TRUE(trace.containing(QStringLiteral("RECEB")).isEmpty());
            continue;
        }
        EXPECT_EQ(monthsLookedUp(trace).first, c.lookedUp);
        const bool everyoneLoyal = c.months.toInt() <= 0;
        const QStringList expected =
            everyoneLoyal ? QStringList{QStringLiteral("never@example.com"), QStringLiteral("odd@example.com"),
                                        QStringLiteral("paid@example.com")}
                          : QStringList{QStringLiteral("paid@example.com")};
        EXPECT_EQ(sortedOutbox(), expected);
    }
}

TEST_F(LoyaltyCampaign, ARegistrationNumberThatIsNoIntegerNeverReachesTheDatabase) {
    for (const char* matricula : {"1 OR 1=1", "1; DELETE FROM RECEB", "12a", ""}) {
        SCOPED_TRACE(matricula);
        clear();
        const QString loyal = member(QStringLiteral("loyal"));
        for (const char* mes : {"01", "02", "03"}) paid(loyal, QString::fromLatin1(mes), QStringLiteral("2024"));
        member(QStringLiteral("odd"), {{QStringLiteral("MATRICULA"), QString::fromLatin1(matricula)}});

        startOn(QStringLiteral("2024-04-01 00:00:00"));
        StatementTrace trace(QStringLiteral("campaign-test"));
        EXPECT_FALSE(runCampaign(loyalty, *session, notices));
        EXPECT_EQ(details(), QStringList{QStringLiteral("Banco de Dados")});
        if (*matricula) {
            EXPECT_TRUE(trace.containing(QString::fromLatin1(matricula)).isEmpty());
        }
        EXPECT_EQ(host.count(QStringLiteral("RECEB")), 3);
        EXPECT_TRUE(runTable().isEmpty());
        EXPECT_TRUE(outbox().isEmpty());
        EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);
    }
}

TEST_F(LoyaltyCampaign, EachFailingStepIsNamedAndLeavesNothing) {
    struct Case {
        const char* what;
        QString sabotage;  // %1: the run table
        QString detail;
    };
    const Case cases[] = {
        {"lookup", QStringLiteral("DROP TABLE RECEB"), QStringLiteral("Banco de Dados")},
        {"run table row",
         QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON %1 BEGIN SELECT RAISE(ABORT, 'full'); END"),
         QStringLiteral("Tempfedelidade")},
        {"outbox row",
         QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Velocast BEGIN SELECT RAISE(ABORT, 'full'); END"),
         QStringLiteral("Velocast")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!host.tableExists(QStringLiteral("RECEB")))
            host.exec(QStringLiteral("CREATE TABLE RECEB (MATRICULA VARCHAR(10), MES VARCHAR(2), ANO VARCHAR(4))"));
        clear();
        host.exec(QStringLiteral("DROP TRIGGER IF EXISTS refuse"));
        const QString loyal = member(QStringLiteral("loyal"));
        for (const char* mes : {"01", "02", "03"}) paid(loyal, QString::fromLatin1(mes), QStringLiteral("2024"));
        startOn(QStringLiteral("2024-04-01 00:00:00"));
        host.exec(c.sabotage.contains(QLatin1String("%1")) ? c.sabotage.arg(session->runTableName()) : c.sabotage);

        EXPECT_FALSE(runCampaign(loyalty, *session, notices));
        EXPECT_EQ(details(), QStringList{c.detail});
        EXPECT_TRUE(runTable().isEmpty());
        EXPECT_TRUE(outbox().isEmpty());
        EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);
    }
}

TEST_F(LoyaltyCampaign, ATableThisSessionDidNotCreateIsNeverEmptied) {
    // The session opening failed to create its run table, so the name is still the bare
    // placeholder, which here is a table of the club's.
    host.exec(QStringLiteral("CREATE TABLE TEMPFEDELIDADE (MATRICULA TEXT)"));
    host.exec(QStringLiteral("INSERT INTO TEMPFEDELIDADE VALUES ('host row')"));
    // Every name the opening tries is taken, by views, which its listing of run tables misses.
    for (const char* taken : {"", "_2", "_3", "_4", "_5"})
        host.exec(
            QStringLiteral("CREATE VIEW TempFedelidade235959%1 AS SELECT 1 AS MATRICULA").arg(QLatin1String(taken)));
    SharedConnection own(host.dataLinkPath(), QStringLiteral("no-run-table"));
    own.open();
    Session failed(own, notices);
    clock.set(QDateTime(QDate(2024, 5, 20), QTime(23, 59, 59)));
    ASSERT_FALSE(failed.ABRE_TABELAS());

    CampaignRun run(failed, loyalty.columns());
    try {
        loyalty.fill(run);
        ADD_FAILURE() << "the campaign went on without its run table";
    } catch (const CampaignStepError& e) {
        EXPECT_EQ(e.detail(), QStringLiteral("Banco de Dados"));
    }
    EXPECT_EQ(host.strings(QStringLiteral("SELECT MATRICULA FROM TEMPFEDELIDADE")),
              QStringList{QStringLiteral("host row")});
}

TEST(LoyaltySql, TextsAndTheRegistrationNumbersThatMayReachThem) {
    EXPECT_EQ(Fidelidade::selection(QStringLiteral("TempFedelidade093015")).mssql,
              QStringLiteral("SELECT A.EMAIL \n"
                             "FROM ALUNOSATIVOS A, TempFedelidade093015 B\n"
                             "WHERE (A.MATRICULA = B.MATRICULA)  \n"
                             " AND ((A.EMAIL IS NOT NULL ) AND (A.RECEBER_EMAIL = 'Sim')) \n"
                             " AND  ((A.PLANOS IS NULL) OR (A.PLANOS = '')) \n"));

    const Fidelidade::Month march{2024, 3};
    struct Case {
        const char* matricula;
        const char* mssql;  // null: refused
    };
    const Case cases[] = {
        {"1234", "SELECT MATRICULA FROM RECEB WHERE MATRICULA = 1234 AND MES = 03 AND ANO = 2024"},
        {"00123", "SELECT MATRICULA FROM RECEB WHERE MATRICULA = 00123 AND MES = 03 AND ANO = 2024"},
        {"77        ", "SELECT MATRICULA FROM RECEB WHERE MATRICULA = 77 AND MES = 03 AND ANO = 2024"},
        {"-5", "SELECT MATRICULA FROM RECEB WHERE MATRICULA = -5 AND MES = 03 AND ANO = 2024"},
        {"1 OR 1=1", nullptr},
        {"1; DELETE FROM RECEB", nullptr},
        {"12a", nullptr},
        {"1.5", nullptr},
        {"0x1F", nullptr},
        {"1 2", nullptr},
        {"+", nullptr},
        {"", nullptr},
        {"١٢", nullptr},  // digits, but not the ones SQL reads
    };
    for (const Case& c : cases) {
        const auto sql = Fidelidade::paymentLookup(QString::fromUtf8(c.matricula), march);
        if (!c.mssql) {
            EXPECT_FALSE(sql.has_value()) << c.matricula;
            continue;
        }
        ASSERT_TRUE(sql.has_value()) << c.matricula;
        EXPECT_EQ(sql->mssql, QString::fromLatin1(c.mssql));
    }
    // SQLite lists the stored forms of the number: with leading zeros, and as a number.
    EXPECT_EQ(
        Fidelidade::paymentLookup(QStringLiteral("00123456"), march)->sqlite,
        QStringLiteral("SELECT MATRICULA FROM RECEB WHERE MATRICULA IN ('123456', '0123456', '00123456', '000123456', "
                       "'0000123456', 123456) AND CAST(MES AS INTEGER) = 03 AND CAST(ANO AS INTEGER) = 2024"));
}

TEST(LoyaltySql, MonthsExaminedOldestFirst) {
    using M = Fidelidade::Month;
    struct Case {
        QDate businessDate;
        int count;
        std::vector<std::pair<int, int>> months;
    };
    const Case cases[] = {
        {QDate(2024, 4, 1), 3, {{2024, 1}, {2024, 2}, {2024, 3}}},
        {QDate(2024, 1, 2), 2, {{2023, 11}, {2023, 12}}},
        {QDate(2024, 3, 31), 1, {{2024, 2}}},
        {QDate(2024, 2, 1),
         14,
         {{2022, 12},
          {2023, 1},
          {2023, 2},
          {2023, 3},
          {2023, 4},
          {2023, 5},
          {2023, 6},
          {2023, 7},
          {2023, 8},
          {2023, 9},
          {2023, 10},
          {2023, 11},
          {2023, 12},
          {2024, 1}}},
        {QDate(2024, 4, 1), 0, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<int, int>> got;
        for (const M& m : Fidelidade::monthsExamined(DateTime::fromDate(c.businessDate), c.count))
            got.emplace_back(m.year, m.month);
        EXPECT_EQ(got, c.months) << c.businessDate.toString(Qt::ISODate).toStdString() << " " << c.count;
    }
}

// The club's server ignores letter case and trailing blanks when it compares texts: a plan
// code of blanks is no plan, and 'sim ' is consent.
TEST_F(LoyaltyCampaign, APlanOfBlanksIsNoPlanAndConsentIgnoresCaseAndTrailingBlanks) {
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET FIDELIDADE_MESES = 0"));  // every candidate is loyal
    member(QStringLiteral("blankplan"), {{QStringLiteral("PLANOS"), QStringLiteral("  ")}});
    member(QStringLiteral("lower"), {{QStringLiteral("RECEBER_EMAIL"), QStringLiteral("sim ")}});
    member(QStringLiteral("plan"), {{QStringLiteral("PLANOS"), QStringLiteral("01")}});
    member(QStringLiteral("refuses"), {{QStringLiteral("RECEBER_EMAIL"), QStringLiteral(" Sim")}});
    startOn(QStringLiteral("2024-04-01 00:00:00"));
    ASSERT_TRUE(runCampaign(loyalty, *session, notices));
    EXPECT_EQ(sortedOutbox(), sorted({QStringLiteral("blankplan@example.com"), QStringLiteral("lower@example.com")}));
}

// The batched lookup is the statement per member and month asked of many at once: for
// registrations stored as the club's system may have written them, both forms find the same
// members loyal.
TEST_F(LoyaltyCampaign, TheBatchedLookupFindsWhomTheStatementPerMemberAndMonthFinds) {
    const QList<Fidelidade::Month> months = Fidelidade::monthsExamined(DateTime::fromDate(QDate(2024, 4, 1)), 3);
    // stored registration, months paid (of January to March 2024)
    const QList<std::pair<QString, QList<int>>> payments = {
        {QStringLiteral("123"), {1, 2, 3}}, {QStringLiteral("00124"), {1, 2, 3}},
        {QStringLiteral("125"), {1, 3}},    {QStringLiteral("0000000000126"), {1, 2, 3}},
        {QStringLiteral("127"), {1, 2}},    {QStringLiteral("00127"), {3}},  // both spellings count
        {QStringLiteral("12A"), {1, 2, 3}}, {QStringLiteral("9223372036854775807"), {1, 2, 3}},
        {QStringLiteral("0"), {1, 2, 3}},
    };
    for (const auto& [stored, paidMonths] : payments)
        for (int m : paidMonths)
            paid(stored, QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0')), QStringLiteral("2024"));
    const QList<qlonglong> candidates = {123, 124, 125, 126, 127, 12, 0, 9223372036854775807LL, 999, -5};
    startOn(QStringLiteral("2024-04-01 00:00:00"));

    QList<qlonglong> perMember;
    for (qlonglong c : candidates) {
        bool everyMonth = true;
        for (const Fidelidade::Month& month : months) {
            QSqlQuery q(connection->database());
            ASSERT_TRUE(q.exec(Fidelidade::paymentLookup(QString::number(c), month)->sqlite)) << c;
            everyMonth = everyMonth && q.next();
        }
        if (everyMonth) perMember << c;
    }
    QList<qlonglong> batched;
    LoyaltyBatch batch(*connection, months, [&](const QVariant& matricula) { batched << matricula.toLongLong(); });
    for (qlonglong c : candidates) batch.add(c, c);
    batch.flush();
    EXPECT_EQ(batched, perMember);
    EXPECT_TRUE(perMember.contains(123) && perMember.contains(124) && perMember.contains(127)) << perMember.size();
}
