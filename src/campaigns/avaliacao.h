#pragma once
// Evaluation reminders: active members whose medical or functional evaluation is older than
// the period set in Qzcvar, reminded on the monthly anniversary of that evaluation. The two
// campaigns are the same campaign over different columns.
#include "campaigns/campaign.h"

namespace velocast {

struct EvaluationColumns {
    CampaignId campaign;
    QString periodColumn;  // Qzcvar: months an evaluation stays valid (NULL is 0)
    QString dateColumn;    // AlunosAtivos: date of the member's last evaluation
};

const EvaluationColumns& medicalEvaluation();     // AVALIACAO_MEDICA
const EvaluationColumns& functionalEvaluation();  // AVALIACAO_FUNCIONAL

class Avaliacao : public Campaign {
public:
    explicit Avaliacao(const EvaluationColumns& evaluation) : evaluation_(evaluation) {}

    const CampaignColumns& columns() const override;
    void fill(CampaignRun& run) override;

    // Members evaluated before `limit` (midnight) on the business date's day of the month.
    static SqlText selection(const EvaluationColumns& evaluation, const DateTime& limit, const DateTime& businessDate);
    // The limit for a period in months: that many months before the business date, a day the
    // month lacks lowered to its last day.
    static DateTime limitDate(const QVariant& period, const DateTime& businessDate);

private:
    const EvaluationColumns& evaluation_;
    Dataset TBLALUNOSATIVOEMIALSEEK{QStringLiteral("TBLALUNOSATIVOEMIALSEEK")};
};

}  // namespace velocast
