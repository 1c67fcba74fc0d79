#include "campaigns/planos_a_vencer.h"

#include <QStringList>

#include "data/db_error.h"
#include "data/session.h"
#include "data/shared_connection.h"

namespace velocast {

const CampaignColumns& PlanosAVencer::columns() const { return campaignColumns(CampaignId::PLANOS_A_VENCER); }

bool PlanosAVencer::dueOn(const DateTime& businessDate) {
    return businessDate.format(QStringLiteral("DD")).toInt() > 25;
}

bool PlanosAVencer::isDue(const Session& session) const { return dueOn(session.businessDate()); }

SqlText PlanosAVencer::selection() {
    return SqlText::written([](Dialect d) {
        // RECEB.MES and ANO are text ('03', '2024') in some clubs and numbers in others. SQL
        // Server converts the text parameter to the column's type; SQLite compares a text
        // parameter with a number as text, so both sides are made numbers.
        auto equals = [d](const QString& column, const QString& parameter) {
            return d == Dialect::Mssql
                       ? column + QStringLiteral(" = ") + parameter
                       : QStringLiteral("CAST(%1 AS INTEGER) = CAST(%2 AS INTEGER)").arg(column, parameter);
        };
        // The consent and address tests come from sql_text.h.
        const QString recipients =
            d == Dialect::Mssql
                ? QStringLiteral("((NOT A.EMAIL IS NULL) AND (A.EMAIL <> '') AND (RECEBER_EMAIL = 'Sim'))")
                : sqliteRecipients(QStringLiteral("A.EMAIL"));
        const QStringList lines{
            QStringLiteral("SELECT A.MATRICULA, A.NOME,A.ENDERECO,A.BAIRRO, A.ESTADO, A.CEP, A.TELEFONE, A.EMAIL, "
                           "A.TELEFONECOM, A.TELEFONE_CELULAR, A.RADIO, A.OBSERVACAO, B.CODIGO, B.DESCRICAO"),
            QStringLiteral("FROM ALUNOSATIVOS A, PLANOS B, RECEB D"),
            QStringLiteral("WHERE (A.SAIDA IS NULL) AND ") + recipients +
                QStringLiteral(" AND (DATA_TRANCAMENTO IS NULL) AND"),
            QStringLiteral("      (") + equals(QStringLiteral("D.MES"), QStringLiteral(":JMES")) +
                QStringLiteral(")   AND"),
            QStringLiteral("      (") + equals(QStringLiteral("D.ANO"), QStringLiteral(":JANO")) +
                QStringLiteral(")   AND"),
            QStringLiteral("      (D.MATRICULA  = A.MATRICULA) AND"),
            QStringLiteral("(A.MATRICULA NOT IN (SELECT C.MATRICULA"),
            QStringLiteral("                    FROM RECEB C"),
            QStringLiteral("                    WHERE (") +
                equals(QStringLiteral("C.MES"), QStringLiteral(":JPROXIMOMES")) + QStringLiteral(") AND (") +
                equals(QStringLiteral("C.ANO"), QStringLiteral(":JPROXIMOANO")) + QStringLiteral("))) AND"),
            QStringLiteral("       (A.PLANOS = B.CODIGO) "),
            QStringLiteral("ORDER BY B.CODIGO,A.MATRICULA"),
        };
        return lines.join(QLatin1Char('\n'));
    });
}

QVariantMap PlanosAVencer::parameters(const DateTime& businessDate) {
    const int month = businessDate.format(QStringLiteral("MM")).toInt();
    const int year = businessDate.format(QStringLiteral("YYYY")).toInt();
    int nextMonth = month + 1;
    int nextYear = year;
    if (nextMonth > 12) {
        nextMonth = 1;
        ++nextYear;
    }
    auto digits = [](int value, int width) { return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0')); };
    return {{QStringLiteral("JMES"), digits(month, 2)},
            {QStringLiteral("JANO"), digits(year, 4)},
            {QStringLiteral("JPROXIMOMES"), digits(nextMonth, 2)},
            {QStringLiteral("JPROXIMOANO"), digits(nextYear, 4)}};
}

const QStringList& PlanosAVencer::declaredColumns() {
    static const QStringList columns{
        QStringLiteral("MATRICULA"),        QStringLiteral("NOME"),     QStringLiteral("ENDERECO"),
        QStringLiteral("BAIRRO"),           QStringLiteral("ESTADO"),   QStringLiteral("CEP"),
        QStringLiteral("TELEFONE"),         QStringLiteral("EMAIL"),    QStringLiteral("TELEFONECOM"),
        QStringLiteral("TELEFONE_CELULAR"), QStringLiteral("RADIO"),    QStringLiteral("OBSERVACAO"),
        QStringLiteral("CODIGO"),           QStringLiteral("DESCRICAO")};
    return columns;
}

void PlanosAVencer::fill(CampaignRun& run) {
    // Read on a connection of its own, outside the campaign's transaction; it is closed when
    // this function leaves, however it leaves.
    const auto own = run.openReadOnlyConnection(QStringLiteral("QRYPLANOSAVENCER"));
    // The selection may be read as it goes: it lets go of its rows before their connection closes.
    struct CloseFirst {
        Dataset& selection;
        ~CloseFirst() { selection.close(); }
    } closeFirst{QRYPLANOSAVENCER};
    run.select(*own, QRYPLANOSAVENCER, selection(), parameters(run.businessDate()));
    QStringList missing;
    for (const QString& column : declaredColumns())
        if (!QRYPLANOSAVENCER.hasColumn(column)) missing << column;
    if (!missing.isEmpty())
        throw DbError(QStringLiteral("the plans to renew have no column %1").arg(missing.join(QStringLiteral(", "))));
    run.appendOutboxRows(QRYPLANOSAVENCER);
}

}  // namespace velocast
