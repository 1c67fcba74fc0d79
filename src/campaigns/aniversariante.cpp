#include "campaigns/aniversariante.h"

namespace velocast {

const CampaignColumns& Aniversariante::columns() const {
    static const CampaignColumns c{QStringLiteral("ANIVERSARIANTE"), QStringLiteral("ANIVERSARIANTE"),
                                   QStringLiteral("ASSUNTO_ANIVERSARIANTE"), QStringLiteral("TEXTO_ANIVERSARIANTE"),
                                   QStringLiteral("ICORPO_MARKETING_ANIVERSARUANETE")};
    return c;
}

SqlText Aniversariante::selection(const DateTime& businessDate) {
    const QString month = businessDate.format(QStringLiteral("MM"));
    const QString day = businessDate.format(QStringLiteral("DD"));
    return {
        QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS WHERE ((EMAIL IS NOT NULL) AND (EMAIL <> '') AND "
                       "(RECEBER_EMAIL = 'Sim')) AND (DATEPART(MONTH, DATA_NASCIMENTO) = '") +
            month + QStringLiteral("')") + QStringLiteral(" AND DATEPART(DAY, DATA_NASCIMENTO) = '") + day +
            QStringLiteral("'"),
        // SQL Server compares the DATEPART numbers with the quoted texts as numbers; SQLite
        // has to be told.
        QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS WHERE (") + sqliteHasAddress(QStringLiteral("EMAIL")) +
            QStringLiteral(" AND ") + sqliteConsents(QStringLiteral("RECEBER_EMAIL")) +
            QStringLiteral(") AND (CAST(strftime('%m', DATA_NASCIMENTO) AS INTEGER) = CAST('") +
            month + QStringLiteral("' AS INTEGER)) AND CAST(strftime('%d', DATA_NASCIMENTO) AS INTEGER) = CAST('") + day +
            QStringLiteral("' AS INTEGER)"),
    };
}

void Aniversariante::fill(CampaignRun& run) {
    run.select(TBLALUNOSATIVOEMIALSEEK, selection(run.businessDate()));
    run.appendOutboxRows(TBLALUNOSATIVOEMIALSEEK);
}

}  // namespace velocast
