#include "campaigns/ausentes.h"

#include <cmath>

#include "data/dialect.h"

namespace velocast {

const CampaignColumns& Ausentes::columns() const { return campaignColumns(CampaignId::AUSENTES); }

SqlText Ausentes::selection() {
    return SqlText::written([](Dialect d) {
        // Only members who accept e-mail are reminded, as in every other campaign. SQLite
        // cannot tell which MATRICULA a bare ORDER BY means; SQL Server takes the listed one.
        const bool mssql = d == Dialect::Mssql;
        return QStringLiteral(
                   "SELECT DISTINCT A.MATRICULA, MAX(B.DATA) AS DATA, A.EMAIL FROM ALUNOSATIVOS A, ACESSO B "
                   "WHERE (A.EMAIL IS NOT NULL ) AND ") +
               (mssql ? QStringLiteral("(A.RECEBER_EMAIL = 'Sim')")
                      : sqliteConsents(QStringLiteral("A.RECEBER_EMAIL"))) +
               QStringLiteral(
                   " AND (A.DATA_TRANCAMENTO IS NULL) AND (A.BOLSISTA = 0) AND (A.MATRICULA = B.MATRICULA) "
                   "GROUP BY A.MATRICULA, A.EMAIL ORDER by ") +
               (mssql ? QStringLiteral("MATRICULA") : QStringLiteral("A.MATRICULA")) + QStringLiteral(", DATA Asc ");
    });
}

std::int64_t Ausentes::daysAbsent(const DateTime& businessDate, const DateTime& latestVisit) {
    // Counted in whole milliseconds, the precision of a stored time: a difference of exactly
    // half a day must be a tie, not a hair above or below one.
    constexpr std::int64_t day = 86'400'000;
    const std::int64_t ms = std::llround(businessDate.days() * day) - std::llround(latestVisit.days() * day);
    std::int64_t whole = ms / day;
    std::int64_t rest = ms % day;
    if (rest < 0) {
        rest += day;
        --whole;
    }
    if (2 * rest > day || (2 * rest == day && whole % 2 != 0)) ++whole;
    return whole;
}

void Ausentes::fill(CampaignRun& run) {
    run.select(TBLALUNOSAUSENTES, selection());
    run.appendOutboxRows(TBLALUNOSAUSENTES, [&](const Dataset& row) {
        const std::int64_t wanted = run.settings().value(QStringLiteral("AUSENTES_DIAS")).toLongLong();  // NULL reads 0
        return daysAbsent(run.businessDate(), dateTimeFromColumn(row.value(QStringLiteral("DATA")))) == wanted;
    });
}

}  // namespace velocast
