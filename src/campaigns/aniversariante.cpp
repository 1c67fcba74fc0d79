#include "campaigns/aniversariante.h"

namespace velocast {

const CampaignColumns& Aniversariante::columns() const { return campaignColumns(CampaignId::ANIVERSARIANTE); }

SqlText Aniversariante::selection(const DateTime& businessDate) {
    const QString month = businessDate.format(QStringLiteral("MM"));
    const QString day = businessDate.format(QStringLiteral("DD"));
    return SqlText::written([&](Dialect d) {
        // SQL Server compares the DATEPART numbers with the quoted two-digit texts as numbers;
        // SQLite compares strftime's zero-padded texts with them as texts, to the same effect.
        // The consent and address tests come from sql_text.h.
        const bool mssql = d == Dialect::Mssql;
        const QString monthOfBirth = mssql ? QStringLiteral("DATEPART(MONTH, DATA_NASCIMENTO)")
                                           : QStringLiteral("strftime('%m', DATA_NASCIMENTO)");
        const QString dayOfBirth = mssql ? QStringLiteral("DATEPART(DAY, DATA_NASCIMENTO)")
                                         : QStringLiteral("strftime('%d', DATA_NASCIMENTO)");
        const QString recipients =
            mssql ? QStringLiteral("((EMAIL IS NOT NULL) AND (EMAIL <> '') AND (RECEBER_EMAIL = 'Sim'))")
                  : sqliteRecipients(QStringLiteral("EMAIL"));
        return QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS WHERE ") + recipients + QStringLiteral(" AND (") +
               monthOfBirth + QStringLiteral(" = '") + month + QStringLiteral("')") + QStringLiteral(" AND ") +
               dayOfBirth + QStringLiteral(" = '") + day + QStringLiteral("'");
    });
}

void Aniversariante::fill(CampaignRun& run) {
    run.select(TBLALUNOSATIVOEMIALSEEK, selection(run.businessDate()));
    run.appendOutboxRows(TBLALUNOSATIVOEMIALSEEK);
}

}  // namespace velocast
