#include "campaigns/tracamento_prazo.h"

#include <cmath>

#include "data/db_error.h"

namespace velocast {

const CampaignColumns& TracamentoPrazo::columns() const { return campaignColumns(CampaignId::TRACAMENTO_PRAZO); }

SqlText TracamentoPrazo::selection() {
    return SqlText::written([](Dialect d) {
        // SQL Server adds a number to a date-time as that many days; SQLite's dates are
        // text, so the sum goes through the Julian day number. The consent and address tests
        // come from sql_text.h.
        const bool mssql = d == Dialect::Mssql;
        const QString limit = mssql ? QStringLiteral("PRAZO_TRANCAMENTO+DIAS_PRAZO_TRANCAMENTO")
                                    : QStringLiteral("datetime(julianday(PRAZO_TRANCAMENTO)+DIAS_PRAZO_TRANCAMENTO)");
        const QString recipients =
            mssql ? QStringLiteral("((NOT EMAIL is NULL) AND (EMAIL <> '') AND (RECEBER_EMAIL = 'Sim'))")
                  : sqliteRecipients(QStringLiteral("EMAIL"));
        return QStringLiteral("SELECT EMAIL,") + limit + QStringLiteral(" AS LIMTITE FROM ALUNOSATIVOS WHERE ") +
               recipients + QStringLiteral(" AND (DATA_TRANCAMENTO IS NOT NULL)");
    });
}

bool TracamentoPrazo::warnsOn(const QVariant& limit, const QVariant& daysBefore, const DateTime& businessDate) {
    // A missing deadline would read as the zero date and match a zero business date (an empty
    // Caixa); such a member has no deadline to be warned of.
    if (limit.isNull()) return false;
    bool ok = true;
    const double days = daysBefore.isNull() ? 0.0 : daysBefore.toDouble(&ok);
    if (!ok) throw DbError(QStringLiteral("TRANCAMENTO_DIAS \"%1\" is not a number").arg(daysBefore.toString()));
    const double due = dateTimeFromColumn(limit).days() - days;
    // Equal to the millisecond, the finest the server stores: comparing the raw numbers would
    // let the subtraction's rounding part two equal instants.
    return std::llround(due * 86400000.0) == std::llround(businessDate.days() * 86400000.0);
}

void TracamentoPrazo::fill(CampaignRun& run) {
    run.select(TBLALUNOSTRANCADOSEMIALSEEK, selection());
    run.appendOutboxRows(TBLALUNOSTRANCADOSEMIALSEEK, [&](const Dataset& row) {
        return warnsOn(row.value(QStringLiteral("LIMTITE")), run.settings().value(QStringLiteral("TRANCAMENTO_DIAS")),
                       run.businessDate());
    });
}

}  // namespace velocast
