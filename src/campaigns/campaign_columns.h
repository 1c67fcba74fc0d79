#pragma once
// The eight campaigns and, for each, the columns that belong to it: its flag in ControleEmail,
// its on/off switch and its subject, text and image path in Qzcvar2. The campaigns find them
// here only; the host schema (data/host_schema) spells them again with their column types.
#include <QString>
#include <array>

namespace velocast {

// In the order the daily run calls them.
enum class CampaignId {
    AVALIACAO_MEDICA,
    AVALIACAO_FUNCIONAL,
    ANIVERSARIANTE,
    PLANOS_A_VENCER,
    TRACAMENTO_PRAZO,
    FIDELIDADE,
    INADIMPLENTES,
    AUSENTES,
};
inline constexpr int kCampaignCount = 8;

struct CampaignColumns {
    CampaignId id;
    QString controlFlag;    // ControleEmail: true once the campaign ran for the business date
    QString switchColumn;   // Qzcvar2: "Sim" turns the campaign on
    QString subjectColumn;  // Qzcvar2 columns copied into each outbox row
    QString textColumn;
    QString imageColumn;
};

const CampaignColumns& campaignColumns(CampaignId id);
// All eight, in the daily run's order.
const std::array<CampaignColumns, kCampaignCount>& allCampaignColumns();

}  // namespace velocast
