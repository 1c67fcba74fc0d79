#include "campaigns/inadimplentes.h"

#include "calendar/days_per_month.h"
#include "data/dialect.h"

namespace velocast {

const QString Inadimplentes::kHostUpdateDetail = QStringLiteral("EntradaSaida");

const CampaignColumns& Inadimplentes::columns() const { return campaignColumns(CampaignId::INADIMPLENTES); }

SqlText Inadimplentes::hostUpdate(const DateTime& businessDate) {
    return SqlText::same(QStringLiteral("UPDATE ENTRADASAIDA SET ANOMESF = '") +
                         businessDate.format(QStringLiteral("YYYYMM")) + QStringLiteral("' WHERE FINAL IS NULL"));
}

SqlText Inadimplentes::selection(Pass pass) {
    const bool modality = pass == Pass::Modality;
    return SqlText::written([&](Dialect d) {
        const bool mssql = d == Dialect::Mssql;
        // SQLite keeps dates as text, where '2024-03-31' and '2024-03-31 00:00:00' are the
        // same day but not the same text, so dates are compared through datetime(). The due
        // day, month and year may be stored as text or as numbers: they are compared as numbers,
        // as SQL Server compares a number with a text column. Address, consent, REPASSE and the
        // period's BOLSISTA are compared as the club's server compares texts (sql_text.h).
        const auto date = [&](const char* column) {
            return mssql ? QString::fromLatin1(column) : QStringLiteral("datetime(%1)").arg(QLatin1String(column));
        };
        const auto number = [&](const char* value) {
            return mssql ? QString::fromLatin1(value) : QStringLiteral("CAST(%1 AS INTEGER)").arg(QLatin1String(value));
        };
        return statementLines({
            QStringLiteral("SELECT DISTINCT A.MATRICULA, A.EMAIL "),
            modality ? QStringLiteral("FROM ALUNOS A, MENSALIDADES C ") : QStringLiteral("FROM ALUNOS A, PLANOS C "),
            modality ? QStringLiteral("WHERE (A.MODALIDADE = C.CODIGO) ")
                     : QStringLiteral("WHERE (A.PLANOS = C.CODIGO) "),
            mssql ? QStringLiteral(" AND ((EMAIL is not NULL) and (EMAIL <> '')) AND (RECEBER_EMAIL = 'Sim') ")
                  : QStringLiteral(" AND (") + sqliteHasAddress(QStringLiteral("EMAIL")) + QStringLiteral(") AND ") +
                        sqliteConsents(QStringLiteral("RECEBER_EMAIL")) + QLatin1Char(' '),
            QStringLiteral(" AND (A.DATA_TRANCAMENTO IS NULL) AND ((A.REPASSE IS NULL) OR ") +
                (mssql ? QStringLiteral("(A.REPASSE = '')") : sqliteIsBlank(QStringLiteral("A.REPASSE"))) +
                QStringLiteral(") AND (A.BOLSISTA = 0) "),
            QStringLiteral("AND (") + number("A.DIA_VENCIMENTO") + QStringLiteral(" = :JMDIAI) "),
            QStringLiteral(" AND (A.MATRICULA IN (SELECT D.MATRICULA "),
            QStringLiteral("                 FROM ENTRADASAIDA D "),
            QStringLiteral("                 INNER JOIN (SELECT MATRICULA, MAX(") + date("INICIAL") +
                QStringLiteral(") AS UltimaData "),
            QStringLiteral("                             FROM ENTRADASAIDA GROUP BY MATRICULA) AS G "),
            QStringLiteral("                 ON (D.MATRICULA = G.MATRICULA) AND (") + date("D.INICIAL") +
                QStringLiteral(" = G.UltimaData) AND ") +
                (mssql ? QStringLiteral("(D.BOLSISTA = 'N')")
                       : sqliteEqualsWord(QStringLiteral("D.BOLSISTA"), QStringLiteral("N"))) +
                QStringLiteral(" AND "),
            QStringLiteral("                 ((D.ANOMESI <= :JMDATA_INICIAL) AND (D.ANOMESF <= :JMDATA_FINAL)) AND "
                           "(D.FINAL IS NULL)) AND "),
            QStringLiteral("(A.MATRICULA NOT IN (SELECT B.MATRICULA "),
            QStringLiteral("                     FROM RECEB B       "),
            QStringLiteral("                     WHERE (") + number("B.MES") + QStringLiteral(" = ") + number(":JMES") +
                QStringLiteral(") AND (") + number("B.ANO") + QStringLiteral(" = ") + number(":JANO") +
                QStringLiteral("))) AND "),
            QStringLiteral("(A.MATRICULA NOT IN (SELECT J.MATRICULA  "),
            QStringLiteral("                     FROM HISTORICOTRANCAMENTO J "),
            QStringLiteral("                     INNER JOIN (SELECT MATRICULA, MAX(") + date("PRAZO") +
                QStringLiteral(") As UltimaData          "),
            QStringLiteral("                     FROM HISTORICOTRANCAMENTO GROUP BY MATRICULA) As H              "),
            QStringLiteral("                     ON (J.MATRICULA = H.MATRICULA) AND (") + date("J.PRAZO") +
                QStringLiteral(" = H.UltimaData) AND "),
            QStringLiteral("                        (((J.LIBERADO IS NULL) OR (") + date("J.LIBERADO") +
                QStringLiteral(" <= :JDATAFIM1)) AND    "),
            QStringLiteral("                        (:JDATAFIM2 BETWEEN ") + date("J.TRANCAMENTO") +
                QStringLiteral(" and ") + date("J.PRAZO") + QStringLiteral(")))) AND        "),
            QStringLiteral("(A.MATRICULA NOT IN (SELECT Z.MATRICULA "),
            QStringLiteral("                     FROM ALUNOS Z, MENSALIDADES W "),
            QStringLiteral("                     WHERE (Z.MODALIDADE = W.CODIGO) AND (W.ACESSOLIVRE = 1)))) "),
            QStringLiteral("ORDER BY A.MATRICULA"),
        });
    });
}

QVariantMap Inadimplentes::parameters(Dialect dialect, const DateTime& businessDate) {
    const QString month = businessDate.format(QStringLiteral("MM"));
    const QString year = businessDate.format(QStringLiteral("YYYY"));
    const QDate date = businessDate.date();
    // The month's last day at midnight; the first day and it both lie in the business month.
    const DateTime monthEnd =
        DateTime::fromDate(QDate(date.year(), date.month(), DaysPerMonth(date.year(), date.month())));
    const QString yearMonth = businessDate.format(QStringLiteral("YYYYMM"));
    return {
        {QStringLiteral("JMDIAI"), businessDate.format(QStringLiteral("DD")).toInt()},
        {QStringLiteral("JMDATA_INICIAL"), yearMonth},
        {QStringLiteral("JMDATA_FINAL"), monthEnd.format(QStringLiteral("YYYYMM"))},
        {QStringLiteral("JMES"), month},
        {QStringLiteral("JANO"), year},
        {QStringLiteral("JDATAFIM1"), dateTimeParameter(dialect, monthEnd)},
        {QStringLiteral("JDATAFIM2"), dateTimeParameter(dialect, monthEnd)},
    };
}

void Inadimplentes::fill(CampaignRun& run) {
    const DateTime& date = run.businessDate();
    asStep(kHostUpdateDetail, [&] { run.exec(hostUpdate(date)); });
    const QVariantMap values = parameters(run.dialect(), date);
    for (Pass pass : {Pass::Modality, Pass::Plan}) {
        run.select(QRYRELATINADIMP, selection(pass), values);
        run.appendOutboxRows(QRYRELATINADIMP);
    }
}

}  // namespace velocast
