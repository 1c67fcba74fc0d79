#pragma once
// A club database whose member tables the club's management system made, not Velocast: its
// own column types and extra columns, AlunosAtivos a view over ALUNOS, the month and year of
// a payment as text, the due day as text, no indexes. Only the program's own tables (outbox,
// control, settings, cash register) come from Velocast's schema.
#include <QSqlQuery>

#include "campaign_fixture.h"

namespace velocast::testing {

struct ClubFixture : CampaignFixture {
    void SetUp() override {
        CampaignFixture::SetUp();
        for (const char* table : {"AlunosAtivos", "ALUNOS", "RECEB", "PLANOS", "MENSALIDADES", "ENTRADASAIDA",
                                  "HISTORICOTRANCAMENTO", "ACESSO"})
            host.exec(QStringLiteral("DROP TABLE ") + QLatin1String(table));
        const char* const ddl[] = {
            "CREATE TABLE ALUNOS (MATRICULA VARCHAR(10) NOT NULL, NOME VARCHAR(35), ENDERECO VARCHAR(45), "
            "BAIRRO VARCHAR(15), ESTADO CHAR(2), CEP VARCHAR(9), TELEFONE VARCHAR(14), TELEFONECOM VARCHAR(14), "
            "TELEFONE_CELULAR VARCHAR(14), RADIO VARCHAR(20), OBSERVACAO VARCHAR(40), EMAIL VARCHAR(60), "
            "RECEBER_EMAIL VARCHAR(3), DATA_TRANCAMENTO DATETIME, DATA_MEDICA DATETIME, DATA_FUNCIONAL DATETIME, "
            "DATA_NASCIMENTO DATETIME, PRAZO_TRANCAMENTO DATETIME, DIAS_PRAZO_TRANCAMENTO SMALLINT, SAIDA DATETIME, "
            "PLANOS VARCHAR(2), MODALIDADE VARCHAR(2), BOLSISTA BIT DEFAULT 0, REPASSE VARCHAR(30), "
            "DIA_VENCIMENTO VARCHAR(2), SITUACAO CHAR(1) DEFAULT 'A')",
            "CREATE VIEW AlunosAtivos AS SELECT * FROM ALUNOS WHERE SITUACAO = 'A'",
            "CREATE TABLE RECEB (CODIGO INTEGER PRIMARY KEY, MATRICULA VARCHAR(10), MES VARCHAR(2), ANO VARCHAR(4), "
            "VALOR NUMERIC(10,2))",
            "CREATE TABLE PLANOS (CODIGO VARCHAR(2) PRIMARY KEY, DESCRICAO VARCHAR(20))",
            "CREATE TABLE MENSALIDADES (CODIGO VARCHAR(2) PRIMARY KEY, DESCRICAO VARCHAR(30), ACESSOLIVRE SMALLINT "
            "DEFAULT 0)",
            "CREATE TABLE ENTRADASAIDA (ID INTEGER PRIMARY KEY, MATRICULA VARCHAR(10), INICIAL DATETIME, FINAL "
            "DATETIME, "
            "BOLSISTA CHAR(1), ANOMESI VARCHAR(6), ANOMESF VARCHAR(6))",
            "CREATE TABLE HISTORICOTRANCAMENTO (ID INTEGER PRIMARY KEY, MATRICULA VARCHAR(10), TRANCAMENTO DATETIME, "
            "PRAZO DATETIME, LIBERADO DATETIME)",
            "CREATE TABLE ACESSO (ID INTEGER PRIMARY KEY, MATRICULA VARCHAR(10), DATA DATETIME, CATRACA SMALLINT)",
        };
        for (const char* sql : ddl) host.exec(QString::fromLatin1(sql));
    }

    // RECEB with the month and year as numbers, as other clubs keep them.
    void useNumericReceipts() {
        host.exec(QStringLiteral("DROP TABLE RECEB"));
        host.exec(QStringLiteral(
            "CREATE TABLE RECEB (CODIGO INTEGER PRIMARY KEY, MATRICULA VARCHAR(10), MES INTEGER, ANO INTEGER)"));
    }

    // An active member who accepts e-mail, at `name`@example.com (NULL address for a null
    // name), with the given columns of ALUNOS on top. Numbered from 11, so that the text order
    // of the numbers is their numeric order. Returns the registration number.
    QString member(const QString& name, const QVariantMap& columns = {}) {
        QVariantMap row{
            {QStringLiteral("MATRICULA"), QString::number(next_++)},
            {QStringLiteral("EMAIL"), name.isNull() ? QVariant() : QVariant(name + QStringLiteral("@example.com"))},
            {QStringLiteral("RECEBER_EMAIL"), QStringLiteral("Sim")},
            {QStringLiteral("BOLSISTA"), 0}};
        row.insert(columns);
        host.insert(QStringLiteral("ALUNOS"), row);
        return row.value(QStringLiteral("MATRICULA")).toString();
    }
    void paid(const QString& matricula, const QVariant& mes, const QVariant& ano) {
        host.insert(
            QStringLiteral("RECEB"),
            {{QStringLiteral("MATRICULA"), matricula}, {QStringLiteral("MES"), mes}, {QStringLiteral("ANO"), ano}});
    }

    // Forgets members, payments, outbox rows, control rows and notices, for the next case.
    void clear() {
        for (const char* table :
             {"ALUNOS", "RECEB", "ENTRADASAIDA", "HISTORICOTRANCAMENTO", "ACESSO", "Velocast", "ControleEmail"})
            host.exec(QStringLiteral("DELETE FROM ") + QLatin1String(table));
        notices.shown.clear();
        next_ = 11;
    }

    // The notice details shown so far.
    QStringList details() const {
        QStringList out;
        for (const auto& n : notices.shown) out << n.detail;
        return out;
    }

private:
    int next_ = 11;
};

}  // namespace velocast::testing
