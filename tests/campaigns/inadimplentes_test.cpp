#include <QSqlQuery>

#include "campaigns/inadimplentes.h"
#include "club_fixture.h"

using namespace velocast;
using velocast::testing::ClubFixture;

namespace {

struct OverdueCampaign : ClubFixture {
    void SetUp() override {
        ClubFixture::SetUp();
        host.exec(
            QStringLiteral("INSERT INTO MENSALIDADES (CODIGO, DESCRICAO, ACESSOLIVRE) VALUES "
                           "('MU', 'Musculação', 0), ('LV', 'Acesso livre', 1)"));
        host.exec(QStringLiteral("INSERT INTO PLANOS (CODIGO, DESCRICAO) VALUES ('01', 'Mensal')"));
    }
    // A member on modality MU, due on the 15th, whose latest membership period is open.
    QString debtor(const QString& name, const QVariantMap& columns = {}) {
        QVariantMap row{{QStringLiteral("MODALIDADE"), QStringLiteral("MU")},
                        {QStringLiteral("DIA_VENCIMENTO"), QStringLiteral("15")}};
        row.insert(columns);
        const QString m = member(name, row);
        period(m, QStringLiteral("2022-05-10 00:00:00"), QVariant(), QStringLiteral("N"), QStringLiteral("202205"),
               QStringLiteral("202402"));
        return m;
    }
    void period(const QString& m, const QString& from, const QVariant& to, const QString& bolsista,
                const QString& anoMesI, const QVariant& anoMesF) {
        host.insert(QStringLiteral("ENTRADASAIDA"), {{QStringLiteral("MATRICULA"), m},
                                                     {QStringLiteral("INICIAL"), from},
                                                     {QStringLiteral("FINAL"), to},
                                                     {QStringLiteral("BOLSISTA"), bolsista},
                                                     {QStringLiteral("ANOMESI"), anoMesI},
                                                     {QStringLiteral("ANOMESF"), anoMesF}});
    }
    void lock(const QString& m, const QString& from, const QString& deadline, const QVariant& released = QVariant()) {
        host.insert(QStringLiteral("HISTORICOTRANCAMENTO"), {{QStringLiteral("MATRICULA"), m},
                                                             {QStringLiteral("TRANCAMENTO"), from},
                                                             {QStringLiteral("PRAZO"), deadline},
                                                             {QStringLiteral("LIBERADO"), released}});
    }
    QStringList endMonths() {
        return host.strings(
            QStringLiteral("SELECT MATRICULA || ':' || COALESCE(ANOMESF, 'NULL') FROM ENTRADASAIDA ORDER BY ID"));
    }
    Inadimplentes overdue;
};

QString at(const QString& name) { return name + QStringLiteral("@example.com"); }

}  // namespace

TEST_F(OverdueCampaign, WorkedExampleModalityRowsBeforePlanRows) {
    debtor(QStringLiteral("modal"));
    debtor(QStringLiteral("both"), {{QStringLiteral("PLANOS"), QStringLiteral("01")}});
    const QString paidNow = debtor(QStringLiteral("paid"));
    paid(paidNow, QStringLiteral("03"), QStringLiteral("2024"));
    const QString paidBefore = debtor(QStringLiteral("paidbefore"));
    paid(paidBefore, QStringLiteral("03"), QStringLiteral("2023"));
    paid(paidBefore, QStringLiteral("02"), QStringLiteral("2024"));
    debtor(QString());
    debtor(QStringLiteral("empty"), {{QStringLiteral("EMAIL"), QStringLiteral("")}});
    debtor(QStringLiteral("refuses"), {{QStringLiteral("RECEBER_EMAIL"), QStringLiteral("Não")}});
    debtor(QStringLiteral("locked"), {{QStringLiteral("DATA_TRANCAMENTO"), QStringLiteral("2024-03-01 00:00:00")}});
    debtor(QStringLiteral("repasse"), {{QStringLiteral("REPASSE"), QStringLiteral("Convênio")}});
    debtor(QStringLiteral("norepasse"), {{QStringLiteral("REPASSE"), QStringLiteral("")}});
    debtor(QStringLiteral("scholar"), {{QStringLiteral("BOLSISTA"), 1}});
    debtor(QStringLiteral("otherday"), {{QStringLiteral("DIA_VENCIMENTO"), QStringLiteral("16")}});
    debtor(QStringLiteral("free"),
           {{QStringLiteral("MODALIDADE"), QStringLiteral("LV")}, {QStringLiteral("PLANOS"), QStringLiteral("01")}});
    // The latest period decides, not an older open one.
    const QString closed = debtor(QStringLiteral("closed"));
    period(closed, QStringLiteral("2024-01-05 00:00:00"), QStringLiteral("2024-02-20 00:00:00"), QStringLiteral("N"),
           QStringLiteral("202401"), QStringLiteral("202402"));
    const QString scholarPeriod =
        member(QStringLiteral("scholarperiod"), {{QStringLiteral("MODALIDADE"), QStringLiteral("MU")},
                                                 {QStringLiteral("DIA_VENCIMENTO"), QStringLiteral("15")}});
    period(scholarPeriod, QStringLiteral("2023-05-10"), QVariant(), QStringLiteral("S"), QStringLiteral("202305"),
           QVariant());
    const QString starting =
        member(QStringLiteral("starting"), {{QStringLiteral("MODALIDADE"), QStringLiteral("MU")},
                                            {QStringLiteral("DIA_VENCIMENTO"), QStringLiteral("15")}});
    period(starting, QStringLiteral("2024-04-01"), QVariant(), QStringLiteral("N"), QStringLiteral("202404"),
           QStringLiteral("202406"));
    // Lock history: the row with the latest deadline decides.
    lock(debtor(QStringLiteral("lockmonthend")), QStringLiteral("2024-03-10"), QStringLiteral("2024-04-10"));
    lock(debtor(QStringLiteral("lockshort")), QStringLiteral("2024-03-10"), QStringLiteral("2024-03-30"));
    lock(debtor(QStringLiteral("lockreleasedafter")), QStringLiteral("2024-03-10"), QStringLiteral("2024-04-10"),
         QStringLiteral("2024-04-02 00:00:00"));
    lock(debtor(QStringLiteral("lockreleasedbefore")), QStringLiteral("2024-03-10"), QStringLiteral("2024-04-10"),
         QStringLiteral("2024-03-20 00:00:00"));
    lock(debtor(QStringLiteral("lockendsonmonthend")), QStringLiteral("2024-03-01 08:00:00"),
         QStringLiteral("2024-03-31"));
    const QString oldLock = debtor(QStringLiteral("oldlock"));
    lock(oldLock, QStringLiteral("2024-03-01"), QStringLiteral("2024-04-05"));
    lock(oldLock, QStringLiteral("2024-06-01"), QStringLiteral("2024-07-01"));
    // Address and consent compared as the club's server compares texts.
    debtor(QStringLiteral("lower"), {{QStringLiteral("RECEBER_EMAIL"), QStringLiteral("SIM")}});
    debtor(QStringLiteral("blanks"), {{QStringLiteral("EMAIL"), QStringLiteral("   ")}});
    // Somebody else's open period that lay after the business month, and one without an end month.
    period(QStringLiteral("90"), QStringLiteral("2020-01-01"), QVariant(), QStringLiteral("N"),
           QStringLiteral("202001"), QStringLiteral("202406"));
    period(QStringLiteral("91"), QStringLiteral("2020-01-01"), QVariant(), QStringLiteral("N"),
           QStringLiteral("202001"), QVariant());

    startOn(QStringLiteral("2024-03-15 00:00:00"));
    ASSERT_TRUE(runCampaign(overdue, *session, notices));
    EXPECT_EQ(outbox(), QStringList({at("modal"), at("both"), at("paidbefore"), at("norepasse"), at("lockshort"),
                                     at("lockreleasedafter"), at("oldlock"), at("lower"), at("both")}));
    // Every open period ends in the business month; the closed ones keep theirs.
    EXPECT_EQ(host.count(QStringLiteral("ENTRADASAIDA"), QStringLiteral("FINAL IS NULL AND ANOMESF IS NOT '202403'")),
              0);
    EXPECT_EQ(host.strings(QStringLiteral("SELECT ANOMESF FROM ENTRADASAIDA WHERE FINAL IS NOT NULL")),
              QStringList{QStringLiteral("202402")});
    EXPECT_TRUE(notices.shown.empty());

    // Already done on this business date: the host table is not touched again.
    host.exec(QStringLiteral("UPDATE ENTRADASAIDA SET ANOMESF = '209912' WHERE MATRICULA = '90'"));
    restart();
    ASSERT_TRUE(runCampaign(overdue, *session, notices));
    EXPECT_EQ(host.count(QStringLiteral("ENTRADASAIDA"), QStringLiteral("ANOMESF = '209912'")), 1);
    EXPECT_EQ(outbox().size(), 9);
}

TEST_F(OverdueCampaign, TheMonthEndAndTheDueDayComeFromTheBusinessMonth) {
    struct Case {
        const char* businessDate;
        const char* dueDay;
        const char* lockEnd;  // a lock from the 1st with this deadline, or none
        bool selected;
    };
    const Case cases[] = {
        {"2024-04-30 00:00:00", "30", nullptr, true},
        {"2024-04-30 00:00:00", "31", nullptr, false},  // April has no 31st: nobody is carried over
        {"2024-02-10 00:00:00", "10", "2024-02-29", false},
        {"2024-02-10 00:00:00", "10", "2024-02-28", true},  // a leap year's month ends on the 29th
        {"2023-02-10 00:00:00", "10", "2023-02-28 00:00:00", false},
        {"2023-02-10 00:00:00", "10", "2023-02-27", true},
        {"2024-12-05 00:00:00", "05", nullptr, true},  // the due day as text with a leading zero
        {"2024-12-05 00:00:00", "05", "2024-12-31", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.businessDate) + " due " + c.dueDay + " lock " + (c.lockEnd ? c.lockEnd : "-"));
        clear();
        const QString m =
            debtor(QStringLiteral("due"), {{QStringLiteral("DIA_VENCIMENTO"), QString::fromLatin1(c.dueDay)}});
        const QString date = QString::fromLatin1(c.businessDate);
        if (c.lockEnd) lock(m, date.left(8) + QStringLiteral("01"), QString::fromLatin1(c.lockEnd));
        startOn(date);
        ASSERT_TRUE(runCampaign(overdue, *session, notices));
        EXPECT_EQ(outbox().size(), c.selected ? 1 : 0);
        EXPECT_EQ(host.strings(QStringLiteral("SELECT ANOMESF FROM ENTRADASAIDA")),
                  QStringList{date.left(4) + date.mid(5, 2)});
    }
}

TEST_F(OverdueCampaign, ANullRegistrationInAPaymentOfTheMonthEmptiesBothPasses) {
    struct Case {
        const char* mes;
        int rows;
    };
    for (const Case& c : {Case{"03", 0}, Case{"02", 2}}) {
        SCOPED_TRACE(c.mes);
        clear();
        debtor(QStringLiteral("both"), {{QStringLiteral("PLANOS"), QStringLiteral("01")}});
        paid(QString(), QString::fromLatin1(c.mes), QStringLiteral("2024"));
        startOn(QStringLiteral("2024-03-15 00:00:00"));
        ASSERT_TRUE(runCampaign(overdue, *session, notices));
        EXPECT_EQ(outbox().size(), c.rows);
    }
}

TEST_F(OverdueCampaign, AFailureUndoesTheHostUpdateToo) {
    struct Case {
        const char* what;
        const char* sabotage;
        const char* detail;
    };
    const Case cases[] = {
        {"host update", "CREATE TRIGGER refuse BEFORE UPDATE ON ENTRADASAIDA BEGIN SELECT RAISE(ABORT, 'no'); END",
         "EntradaSaida"},
        {"plan pass", "DROP TABLE PLANOS", "Velocast"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        debtor(QStringLiteral("modal"));
        startOn(QStringLiteral("2024-03-15 00:00:00"));
        host.exec(QString::fromLatin1(c.sabotage));
        EXPECT_FALSE(runCampaign(overdue, *session, notices));
        EXPECT_EQ(details(), QStringList{QString::fromLatin1(c.detail)});
        EXPECT_EQ(endMonths(), QStringList{QStringLiteral("11:202402")});
        EXPECT_TRUE(outbox().isEmpty());
        EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);
        host.exec(QStringLiteral("DROP TRIGGER IF EXISTS refuse"));
    }
}

TEST(OverdueSql, TheSqlServerTextsAndTheSevenParameters) {
    const QStringList lines{
        "SELECT DISTINCT A.MATRICULA, A.EMAIL ",
        "FROM ALUNOS A, MENSALIDADES C ",
        "WHERE (A.MODALIDADE = C.CODIGO) ",
        " AND ((EMAIL is not NULL) and (EMAIL <> '')) AND (RECEBER_EMAIL = 'Sim') ",
        " AND (A.DATA_TRANCAMENTO IS NULL) AND ((A.REPASSE IS NULL) OR (A.REPASSE = '')) AND (A.BOLSISTA = 0) ",
        "AND (A.DIA_VENCIMENTO = :JMDIAI) ",
        " AND (A.MATRICULA IN (SELECT D.MATRICULA ",
        "                 FROM ENTRADASAIDA D ",
        "                 INNER JOIN (SELECT MATRICULA, MAX(INICIAL) AS UltimaData ",
        "                             FROM ENTRADASAIDA GROUP BY MATRICULA) AS G ",
        "                 ON (D.MATRICULA = G.MATRICULA) AND (D.INICIAL = G.UltimaData) AND (D.BOLSISTA = 'N') AND ",
        "                 ((D.ANOMESI <= :JMDATA_INICIAL) AND (D.ANOMESF <= :JMDATA_FINAL)) AND (D.FINAL IS NULL)) "
        "AND ",
        "(A.MATRICULA NOT IN (SELECT B.MATRICULA ",
        "                     FROM RECEB B       ",
        "                     WHERE (B.MES = :JMES) AND (B.ANO = :JANO))) AND ",
        "(A.MATRICULA NOT IN (SELECT J.MATRICULA  ",
        "                     FROM HISTORICOTRANCAMENTO J ",
        "                     INNER JOIN (SELECT MATRICULA, MAX(PRAZO) As UltimaData          ",
        "                     FROM HISTORICOTRANCAMENTO GROUP BY MATRICULA) As H              ",
        "                     ON (J.MATRICULA = H.MATRICULA) AND (J.PRAZO = H.UltimaData) AND ",
        "                        (((J.LIBERADO IS NULL) OR (J.LIBERADO <= :JDATAFIM1)) AND    ",
        "                        (:JDATAFIM2 BETWEEN J.TRANCAMENTO and J.PRAZO)))) AND        ",
        "(A.MATRICULA NOT IN (SELECT Z.MATRICULA ",
        "                     FROM ALUNOS Z, MENSALIDADES W ",
        "                     WHERE (Z.MODALIDADE = W.CODIGO) AND (W.ACESSOLIVRE = 1)))) ",
        "ORDER BY A.MATRICULA",
    };
    ASSERT_EQ(lines.size(), 26);
    EXPECT_EQ(Inadimplentes::selection(Inadimplentes::Pass::Modality).mssql,
              lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    QStringList plan = lines;
    plan[1] = QStringLiteral("FROM ALUNOS A, PLANOS C ");
    plan[2] = QStringLiteral("WHERE (A.PLANOS = C.CODIGO) ");
    EXPECT_EQ(Inadimplentes::selection(Inadimplentes::Pass::Plan).mssql,
              plan.join(QLatin1Char('\n')) + QLatin1Char('\n'));

    const DateTime example = DateTime::fromDate(QDate(2024, 3, 15));
    EXPECT_EQ(Inadimplentes::hostUpdate(example).mssql,
              QStringLiteral("UPDATE ENTRADASAIDA SET ANOMESF = '202403' WHERE FINAL IS NULL"));

    struct Case {
        QDate businessDate;
        int day;
        const char *yearMonth, *month, *year;
        QDate monthEnd;
    };
    const Case cases[] = {
        {QDate(2024, 3, 15), 15, "202403", "03", "2024", QDate(2024, 3, 31)},
        {QDate(2024, 2, 29), 29, "202402", "02", "2024", QDate(2024, 2, 29)},
        {QDate(2023, 2, 1), 1, "202302", "02", "2023", QDate(2023, 2, 28)},
        {QDate(2024, 4, 30), 30, "202404", "04", "2024", QDate(2024, 4, 30)},
        {QDate(2024, 12, 31), 31, "202412", "12", "2024", QDate(2024, 12, 31)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.businessDate.toString(Qt::ISODate).toStdString());
        // A time of day on the business date changes nothing.
        const DateTime date = DateTime::fromQDateTime(QDateTime(c.businessDate, QTime(18, 30)));
        const QVariantMap p = Inadimplentes::parameters(Dialect::Mssql, date);
        EXPECT_EQ(p.value(QStringLiteral("JMDIAI")).typeId(), QMetaType::Int);
        EXPECT_EQ(p.value(QStringLiteral("JMDIAI")).toInt(), c.day);
        EXPECT_EQ(p.value(QStringLiteral("JMDATA_INICIAL")).toString(), QLatin1String(c.yearMonth));
        EXPECT_EQ(p.value(QStringLiteral("JMDATA_FINAL")).toString(), QLatin1String(c.yearMonth));
        EXPECT_EQ(p.value(QStringLiteral("JMES")).toString(), QLatin1String(c.month));
        EXPECT_EQ(p.value(QStringLiteral("JANO")).toString(), QLatin1String(c.year));
        for (const char* end : {"JDATAFIM1", "JDATAFIM2"}) {
            EXPECT_EQ(p.value(QLatin1String(end)).typeId(), QMetaType::QDateTime);
            EXPECT_EQ(p.value(QLatin1String(end)).toDateTime(), QDateTime(c.monthEnd, QTime(0, 0)));
        }
        EXPECT_EQ(p.size(), 7);
    }
}

// The club's server ignores letter case and trailing blanks when it compares texts: a
// REPASSE of blanks is empty, a period marked 'n' is not a scholarship's.
TEST_F(OverdueCampaign, ABlankRepasseAndALowerCasePeriodFlagCountAsOnTheClubsServer) {
    debtor(QStringLiteral("blankrepasse"), {{QStringLiteral("REPASSE"), QStringLiteral("   ")}});
    debtor(QStringLiteral("convenio"), {{QStringLiteral("REPASSE"), QStringLiteral("Convênio ")}});
    for (const char* flag : {"n", "N ", "S"}) {
        const QString m = member(QStringLiteral("period") + QLatin1String(flag).trimmed(),
                                 {{QStringLiteral("MODALIDADE"), QStringLiteral("MU")},
                                  {QStringLiteral("DIA_VENCIMENTO"), QStringLiteral("15")}});
        period(m, QStringLiteral("2022-05-10 00:00:00"), QVariant(), QLatin1String(flag), QStringLiteral("202205"),
               QStringLiteral("202402"));
    }
    startOn(QStringLiteral("2024-03-15 00:00:00"));
    ASSERT_TRUE(runCampaign(overdue, *session, notices));
    EXPECT_EQ(outbox(), QStringList({at("blankrepasse"), at("periodn"), at("periodN")}));
}
