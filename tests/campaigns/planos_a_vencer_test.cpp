#include <QSqlDatabase>
#include <QSqlQuery>

#include "renewal_fixture.h"
#include "campaigns/planos_a_vencer.h"
#include "support/qt_printers.h"

using namespace velocast;
using velocast::testing::CampaignFixture;

namespace {
DateTime day(int y, int m, int d) { return DateTime::fromDate(QDate(y, m, d)); }

}  // namespace

TEST(PlanosAVencerSql, SqlServerTextIsTheOneTheClubsServerAlwaysReceived) {
    EXPECT_EQ(
        PlanosAVencer::selection().mssql,
        QStringLiteral(
            "SELECT A.MATRICULA, A.NOME,A.ENDERECO,A.BAIRRO, A.ESTADO, A.CEP, A.TELEFONE, A.EMAIL, A.TELEFONECOM, "
            "A.TELEFONE_CELULAR, A.RADIO, A.OBSERVACAO, B.CODIGO, B.DESCRICAO\n"
            "FROM ALUNOSATIVOS A, PLANOS B, RECEB D\n"
            "WHERE (A.SAIDA IS NULL) AND ((NOT A.EMAIL IS NULL) AND (A.EMAIL <> '') AND (RECEBER_EMAIL = 'Sim')) "
            "AND (DATA_TRANCAMENTO IS NULL) AND\n"
            "      (D.MES = :JMES)   AND\n"
            "      (D.ANO = :JANO)   AND\n"
            "      (D.MATRICULA  = A.MATRICULA) AND\n"
            "(A.MATRICULA NOT IN (SELECT C.MATRICULA\n"
            "                    FROM RECEB C\n"
            "                    WHERE (C.MES = :JPROXIMOMES) AND (C.ANO = :JPROXIMOANO))) AND\n"
            "       (A.PLANOS = B.CODIGO) \n"
            "ORDER BY B.CODIGO,A.MATRICULA"));
}

TEST(PlanosAVencerParameters, AreThisMonthAndTheNextAsTexts) {
    struct Case {
        DateTime business;
        const char* mes;
        const char* ano;
        const char* proximoMes;
        const char* proximoAno;
    };
    const Case cases[] = {
        {day(2024, 3, 26), "03", "2024", "04", "2024"},
        {day(2024, 12, 27), "12", "2024", "01", "2025"},
        {day(2025, 1, 31), "01", "2025", "02", "2025"},
    };
    for (const Case& c : cases) {
        const QVariantMap p = PlanosAVencer::parameters(c.business);
        EXPECT_EQ(p, QVariantMap({{QStringLiteral("JMES"), QLatin1String(c.mes)},
                                  {QStringLiteral("JANO"), QLatin1String(c.ano)},
                                  {QStringLiteral("JPROXIMOMES"), QLatin1String(c.proximoMes)},
                                  {QStringLiteral("JPROXIMOANO"), QLatin1String(c.proximoAno)}}))
            << c.business.format(QStringLiteral("DD/MM/YYYY")).toStdString();
    }
    EXPECT_FALSE(PlanosAVencer::dueOn(day(2024, 3, 25)));
    EXPECT_TRUE(PlanosAVencer::dueOn(DateTime::fromQDateTime(QDateTime(QDate(2024, 2, 26), QTime(23, 0)))));
}

TEST_F(RenewalFixture, UpToThe25thNothingIsTouched) {
    addPlanMember(QStringLiteral("renew@example.com"), QStringLiteral("01"), {QStringLiteral("03/2024")});
    host.exec(QStringLiteral("INSERT INTO PLANOS (CODIGO, DESCRICAO) VALUES ('01', 'Mensal')"));
    startOn(QStringLiteral("2024-03-25 00:00:00"));
    PlanosAVencer renewals;
    ASSERT_TRUE(runCampaign(renewals, *session, notices));
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_FALSE(connection->inTransaction());
}

// Receipts stored as text ('03', '2024') and as numbers select the same members.
TEST_F(RenewalFixture, SelectsMembersPaidForThisMonthButNotYetForTheNext) {
    for (const bool numeric : {false, true}) {
        clearHost();
        if (numeric) {
            // Numbers in columns of no declared type: nothing converts them for a comparison.
            host.exec(QStringLiteral("DROP TABLE RECEB"));
            host.exec(QStringLiteral("CREATE TABLE RECEB (MATRICULA TEXT, MES, ANO)"));
            numericReceipts = true;
        }
        host.exec(
            QStringLiteral("INSERT INTO PLANOS (CODIGO, DESCRICAO) VALUES ('02', 'Trimestral'), ('01', 'Mensal')"));
        const QString march = QStringLiteral("03/2024"), april = QStringLiteral("04/2024");
        addPlanMember(QStringLiteral("b@example.com"), QStringLiteral("02"), {march});
        addPlanMember(QStringLiteral("a@example.com"), QStringLiteral("01"), {march});
        addPlanMember(QStringLiteral("twice@example.com"), QStringLiteral("01"), {march, march});
        addPlanMember(QStringLiteral("renewed@example.com"), QStringLiteral("01"), {march, april});
        addPlanMember(QStringLiteral("unpaid@example.com"), QStringLiteral("01"), {QStringLiteral("02/2024")});
        addPlanMember(QStringLiteral("lastyear@example.com"), QStringLiteral("01"), {QStringLiteral("03/2023")});
        addPlanMember(QStringLiteral("noplan@example.com"), QString(), {march});
        addPlanMember(QStringLiteral("unknownplan@example.com"), QStringLiteral("99"), {march});
        addPlanMember(QStringLiteral("left@example.com"), QStringLiteral("01"), {march},
                      {{QStringLiteral("SAIDA"), QStringLiteral("2024-03-10")}});
        addPlanMember(QStringLiteral("locked@example.com"), QStringLiteral("01"), {march},
                      {{QStringLiteral("DATA_TRANCAMENTO"), QStringLiteral("2024-03-01")}});
        addPlanMember(QStringLiteral("noconsent@example.com"), QStringLiteral("01"), {march},
                      {{QStringLiteral("RECEBER_EMAIL"), QStringLiteral("Não")}});
        addPlanMember(QStringLiteral(""), QStringLiteral("01"), {march});

        startOn(QStringLiteral("2024-03-26 00:00:00"));
        PlanosAVencer renewals;
        ASSERT_TRUE(runCampaign(renewals, *session, notices));
        // By plan code, then registration number; two receipts for March give two rows.
        EXPECT_EQ(outbox(), QStringList({QStringLiteral("a@example.com"), QStringLiteral("twice@example.com"),
                                         QStringLiteral("twice@example.com"), QStringLiteral("b@example.com")}))
            << (numeric ? "numeric" : "text");
        EXPECT_EQ(host.count(QStringLiteral("ControleEmail"), QStringLiteral("PLANOS_A_VENCER = 1")), 1);
        EXPECT_FALSE(QSqlDatabase::contains(QStringLiteral("QRYPLANOSAVENCER")));

        // A receipt of April without a registration number: NOT IN is never true any more.
        clearHost();
        host.exec(QStringLiteral("INSERT INTO PLANOS (CODIGO, DESCRICAO) VALUES ('01', 'Mensal')"));
        addPlanMember(QStringLiteral("a@example.com"), QStringLiteral("01"), {march});
        addReceipt(QVariant(), april);
        startOn(QStringLiteral("2024-03-27 00:00:00"));
        ASSERT_TRUE(runCampaign(renewals, *session, notices));
        EXPECT_TRUE(outbox().isEmpty());
    }
}

TEST_F(RenewalFixture, ItsOwnConnectionIsClosedAfterAFailureToo) {
    addPlanMember(QStringLiteral("a@example.com"), QStringLiteral("01"), {QStringLiteral("03/2024")});
    host.exec(QStringLiteral("DROP TABLE PLANOS"));
    startOn(QStringLiteral("2024-03-26 00:00:00"));
    PlanosAVencer renewals;
    EXPECT_FALSE(runCampaign(renewals, *session, notices));
    EXPECT_FALSE(QSqlDatabase::contains(QStringLiteral("QRYPLANOSAVENCER")));
    ASSERT_EQ(notices.shown.size(), 1u);
    EXPECT_EQ(notices.shown[0].text, QStringLiteral("Gravando na tabela !"));
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 0);
}
