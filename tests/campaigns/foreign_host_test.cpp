// The campaigns on a club database that the program did not create: the host system's own
// column types and order, extra columns, AlunosAtivos as a view, receipts' month and year as
// text.
#include <QSqlQuery>
#include <algorithm>
#include <gtest/gtest.h>

#include "campaigns/campaign_table.h"
#include "data/host_schema.h"
#include "notices/notices.h"
#include "support/recording_notices.h"
#include "data/session.h"
#include "support/host_database.h"
#include "support/qt_printers.h"
#include "support/test_clock.h"

using namespace velocast;
using velocast::testing::HostDatabase;
using velocast::testing::TestClock;

namespace {

QStringList foreignSchema() {
    // Qzcvar2 as the host keeps it: its own order, its own types, columns of its own.
    QStringList settings{QStringLiteral("CODIGO INT"), QStringLiteral("NOME_ACADEMIA VARCHAR(60)")};
    QStringList names = declaredColumns(QStringLiteral("Qzcvar2"));
    std::reverse(names.begin(), names.end());
    for (const QString& name : names)
        settings << name + (name.endsWith(QLatin1String("_DIAS")) || name.endsWith(QLatin1String("_MESES"))
                                ? QStringLiteral(" INT")
                            : name.startsWith(QLatin1String("TEXTO_")) ? QStringLiteral(" TEXT")
                                                                       : QStringLiteral(" VARCHAR(500)"));
    return {
        QStringLiteral("CREATE TABLE Velocast (ID INTEGER PRIMARY KEY AUTOINCREMENT, Email NVARCHAR(40), "
                       "Assunto NVARCHAR(50), Texto TEXT, IMAGEM_CORPO_MARKETING NVARCHAR(500))"),
        QStringLiteral("CREATE TABLE ControleEmail (ID INTEGER PRIMARY KEY AUTOINCREMENT, DATA DATETIME, MEDICA BIT, "
                       "FUNCIONAL BIT, ANIVERSARIANTE BIT, PLANOS_A_VENCER BIT, TRANCAMENTO BIT, FIDELIDADE BIT, "
                       "INADIMPLENTES BIT, AUSENTES BIT)"),
        QStringLiteral("CREATE TABLE Qzcvar2 (%1)").arg(settings.join(QStringLiteral(", "))),
        QStringLiteral(
            "CREATE TABLE Qzcvar (CODIGO INT, NOME VARCHAR(40), PRAZOAVALFUN SMALLINT, PRAZOAVALMED SMALLINT, "
            "FERIADOS VARCHAR(105))"),
        QStringLiteral("CREATE TABLE Caixa (CODIGO INTEGER PRIMARY KEY, OPERADOR VARCHAR(20), DATAABERTURA DATETIME, "
                       "DATAFECHAMENTO DATETIME)"),
        QStringLiteral(
            "CREATE TABLE ALUNOS (MATRICULA VARCHAR(10) PRIMARY KEY, NOME VARCHAR(35), ENDERECO VARCHAR(45), "
            "BAIRRO VARCHAR(15), CIDADE VARCHAR(30), ESTADO CHAR(2), CEP VARCHAR(9), TELEFONE VARCHAR(14), "
            "TELEFONECOM VARCHAR(14), TELEFONE_CELULAR VARCHAR(14), RADIO VARCHAR(20), OBSERVACAO VARCHAR(40), "
            "EMAIL VARCHAR(60), RECEBER_EMAIL VARCHAR(3), DATA_TRANCAMENTO DATETIME, DATA_MEDICA DATETIME, "
            "DATA_FUNCIONAL DATETIME, DATA_NASCIMENTO DATETIME, PRAZO_TRANCAMENTO DATETIME, "
            "DIAS_PRAZO_TRANCAMENTO INT, SAIDA DATETIME, PLANOS CHAR(2), MODALIDADE CHAR(2), BOLSISTA BIT, "
            "REPASSE VARCHAR(30), DIA_VENCIMENTO INT, ATIVO CHAR(1))"),
        QStringLiteral("CREATE VIEW AlunosAtivos AS SELECT * FROM ALUNOS WHERE ATIVO = 'S'"),
        QStringLiteral("CREATE TABLE PLANOS (CODIGO CHAR(2) PRIMARY KEY, DESCRICAO VARCHAR(20), VALOR DECIMAL(10,2))"),
        QStringLiteral("CREATE TABLE RECEB (NUMERO INTEGER PRIMARY KEY, MATRICULA VARCHAR(10), MES VARCHAR(2), "
                       "ANO VARCHAR(4), VALOR DECIMAL(10,2))"),
    };
}

struct ForeignHost : ::testing::Test {
    HostDatabase host{foreignSchema()};
    RecordingNotices notices;
    TestClock clock{QDateTime(QDate(2024, 3, 26), QTime(8, 0))};

    void SetUp() override {
        host.exec(
            QStringLiteral("INSERT INTO Caixa (OPERADOR, DATAABERTURA) VALUES ('ana', '2024-03-25 00:00:00'), "
                           "('bia', '2024-03-26 00:00:00')"));
        host.exec(
            QStringLiteral("INSERT INTO Qzcvar (CODIGO, PRAZOAVALMED, PRAZOAVALFUN, FERIADOS) VALUES (1, 6, 3, '')"));
        host.exec(QStringLiteral(
            "INSERT INTO Qzcvar2 (CODIGO, TRANCAMENTO_DIAS, ASSUNTO_MEDICA, ASSUNTO_FUNCIONAL, ASSUNTO_ANIVERSARIANTE, "
            "ASSUNTO_PLANO, ASSUNTO_TRANCAMENTO) VALUES (1, 5, 'M', 'F', 'A', 'P', 'T')"));
        host.exec(QStringLiteral("INSERT INTO PLANOS VALUES ('01', 'Mensal', 120.00)"));
        member("0001", "med@example.com", "DATA_MEDICA", "'2023-08-26 00:00:00'");
        member("0002", "fun@example.com", "DATA_FUNCIONAL", "'2023-11-26'");
        member("0003", "birthday@example.com", "DATA_NASCIMENTO", "'1990-03-26 00:00:00'");
        member("0004", "renew@example.com", "PLANOS", "'01'");
        member("0005", "renewed@example.com", "PLANOS", "'01'");
        member("0006", "lock@example.com",
               "DATA_TRANCAMENTO = '2024-02-20', PRAZO_TRANCAMENTO = '2024-02-20 00:00:00', "
               "DIAS_PRAZO_TRANCAMENTO",
               "40");
        // Matches every campaign but is no active member.
        member("0007", "inactive@example.com",
               "ATIVO = 'N', DATA_MEDICA = '2023-08-26', DATA_NASCIMENTO = '1990-03-26', "
               "PLANOS",
               "'01'");
        host.exec(
            QStringLiteral("INSERT INTO RECEB (MATRICULA, MES, ANO, VALOR) VALUES ('0004', '03', '2024', 120), "
                           "('0005', '03', '2024', 120), ('0005', '04', '2024', 120), ('0007', '03', '2024', 120)"));
    }
    void member(const char* matricula, const char* email, const char* assignment, const char* value) {
        host.exec(QStringLiteral(
                      "INSERT INTO ALUNOS (MATRICULA, EMAIL, RECEBER_EMAIL, ATIVO) VALUES ('%1', '%2', 'Sim', 'S')")
                      .arg(QLatin1String(matricula), QLatin1String(email)));
        host.exec(QStringLiteral("UPDATE ALUNOS SET %1 = %2 WHERE MATRICULA = '%3'")
                      .arg(QLatin1String(assignment), QLatin1String(value), QLatin1String(matricula)));
    }
    // One program start: the session, every campaign of the table, the teardown.
    void runDay() {
        SharedConnection connection(host.dataLinkPath(), QStringLiteral("foreign-host"));
        connection.open();
        Session session(connection, notices);
        clock.advance();
        ASSERT_TRUE(session.ABRE_TABELAS());
        for (const CampaignStep& campaign : campaignTable()) {
            if (campaign->columns().id <= CampaignId::TRACAMENTO_PRAZO) {
                EXPECT_TRUE(runCampaign(*campaign, session, notices));
            }
        }
        session.teardown();
    }
};

}  // namespace

TEST_F(ForeignHost, EachCampaignWritesExactlyItsMembersOncePerBusinessDate) {
    runDay();
    const QStringList expected{QStringLiteral("M med@example.com"), QStringLiteral("F fun@example.com"),
                               QStringLiteral("A birthday@example.com"), QStringLiteral("P renew@example.com"),
                               QStringLiteral("T lock@example.com")};
    EXPECT_EQ(host.strings(QStringLiteral("SELECT Assunto || ' ' || Email FROM Velocast ORDER BY ID")), expected);
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail"),
                         QStringLiteral("MEDICA = 1 AND FUNCIONAL = 1 AND ANIVERSARIANTE = 1 AND PLANOS_A_VENCER = 1 "
                                        "AND TRANCAMENTO = 1 AND DATA = '2024-03-26 00:00:00'")),
              1);
    EXPECT_TRUE(notices.shown.empty());

    runDay();  // started again on the same business date: nothing new
    EXPECT_EQ(host.count(QStringLiteral("Velocast")), expected.size());
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail")), 1);
}
