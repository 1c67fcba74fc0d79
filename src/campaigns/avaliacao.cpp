#include "campaigns/avaliacao.h"

#include "calendar/months_back.h"
#include "data/db_error.h"

namespace velocast {

const EvaluationColumns& medicalEvaluation() {
    static const EvaluationColumns e{CampaignId::AVALIACAO_MEDICA, QStringLiteral("PRAZOAVALMED"),
                                     QStringLiteral("DATA_MEDICA")};
    return e;
}

const EvaluationColumns& functionalEvaluation() {
    static const EvaluationColumns e{CampaignId::AVALIACAO_FUNCIONAL, QStringLiteral("PRAZOAVALFUN"),
                                     QStringLiteral("DATA_FUNCIONAL")};
    return e;
}

const CampaignColumns& Avaliacao::columns() const { return campaignColumns(evaluation_.campaign); }

DateTime Avaliacao::limitDate(const QVariant& period, const DateTime& businessDate) {
    bool ok = true;
    const int months = period.isNull() ? 0 : period.toInt(&ok);
    if (!ok) throw DbError(QStringLiteral("the evaluation period \"%1\" is not a number").arg(period.toString()));
    return MonthsBack(months, true, businessDate);
}

SqlText Avaliacao::selection(const EvaluationColumns& evaluation, const DateTime& limit, const DateTime& businessDate) {
    const QString& column = evaluation.dateColumn;
    const QString day = businessDate.format(QStringLiteral("DD"));
    return SqlText::written([&](Dialect d) {
        // SQL Server reads the day-first limit as a date and compares the quoted day text
        // with DATEPART's number as a number; SQLite is told both, and the consent and
        // address tests come from sql_text.h.
        const bool mssql = d == Dialect::Mssql;
        const QString limitText = QLatin1Char('\'') + dateLiteral(d, limit) + QLatin1Char('\'');
        const QString before = mssql ? column + QStringLiteral(" < ") + limitText
                                     : QStringLiteral("julianday(%1) < julianday(%2)").arg(column, limitText);
        const QString dayOf = mssql ? QStringLiteral("DATEPART(DAY,%1)").arg(column)
                                    : QStringLiteral("CAST(strftime('%d', %1) AS INTEGER)").arg(column);
        const QString dayText = QLatin1Char('\'') + day + QLatin1Char('\'');
        const QString dayValue = mssql ? dayText : QStringLiteral("CAST(%1 AS INTEGER)").arg(dayText);
        const QString recipients =
            mssql ? QStringLiteral("((EMAIL IS NOT NULL) AND (EMAIL <> '') AND (RECEBER_EMAIL = 'Sim'))")
                  : sqliteRecipients(QStringLiteral("EMAIL"));
        return QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS WHERE ") + recipients +
               QStringLiteral(" AND (DATA_TRANCAMENTO IS NULL) AND ((") + column +
               QStringLiteral(" IS Not NULL) AND ((") + before + QStringLiteral(") AND (") + dayOf +
               QStringLiteral(" = ") + dayValue + QStringLiteral(")))");
    });
}

void Avaliacao::fill(CampaignRun& run) {
    const DateTime limit = limitDate(run.controle().value(evaluation_.periodColumn), run.businessDate());
    run.select(TBLALUNOSATIVOEMIALSEEK, selection(evaluation_, limit, run.businessDate()));
    run.appendOutboxRows(TBLALUNOSATIVOEMIALSEEK);
}

}  // namespace velocast
