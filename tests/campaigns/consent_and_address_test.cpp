// On SQL Server, the club's default collation decides who counts as consenting and who has an
// address: letter case and trailing blanks are ignored by = and <>. The SQLite twins of the
// selections must pick the same members.
#include <functional>

#include "campaign_fixture.h"
#include "campaigns/aniversariante.h"
#include "campaigns/avaliacao.h"
#include "campaigns/planos_a_vencer.h"
#include "campaigns/tracamento_prazo.h"
#include "support/qt_printers.h"

using namespace velocast;
using velocast::testing::CampaignFixture;

namespace {

struct Member {
    QVariant email;
    QVariant consent;
    bool selected;
};

// Every member would be selected by each campaign but for the address and the consent.
const Member kMembers[] = {
    {QStringLiteral("exact@example.com"), QStringLiteral("Sim"), true},
    {QStringLiteral("lower@example.com"), QStringLiteral("sim"), true},
    {QStringLiteral("upper@example.com"), QStringLiteral("SIM"), true},
    {QStringLiteral("trailing@example.com"), QStringLiteral("Sim  "), true},
    {QStringLiteral("leading@example.com"), QStringLiteral(" Sim"), false},  // only trailing blanks are ignored
    {QStringLiteral("no@example.com"), QStringLiteral("Não"), false},
    {QStringLiteral("null@example.com"), QVariant(), false},
    {QStringLiteral("   "), QStringLiteral("Sim"), false},  // blanks: an empty address
    {QStringLiteral(""), QStringLiteral("Sim"), false},
    {QVariant(), QStringLiteral("Sim"), false},
};

struct Case {
    const char* name;
    std::function<std::unique_ptr<Campaign>()> campaign;
    const char* businessDate;
    QVariantMap columns;  // what makes a member due for this campaign
};

}  // namespace

TEST_F(CampaignFixture, ConsentAndAddressCompareAsOnTheClubsSqlServer) {
    const Case cases[] = {
        {"AVALIACAO_MEDICA",
         [] { return std::make_unique<Avaliacao>(medicalEvaluation()); },
         "2024-06-15 00:00:00",
         {{QStringLiteral("DATA_MEDICA"), QStringLiteral("2023-11-15")}}},
        {"AVALIACAO_FUNCIONAL",
         [] { return std::make_unique<Avaliacao>(functionalEvaluation()); },
         "2024-06-15 00:00:00",
         {{QStringLiteral("DATA_FUNCIONAL"), QStringLiteral("2023-11-15")}}},
        {"ANIVERSARIANTE",
         [] { return std::make_unique<Aniversariante>(); },
         "2024-06-15 00:00:00",
         {{QStringLiteral("DATA_NASCIMENTO"), QStringLiteral("1990-06-15")}}},
        {"PLANOS_A_VENCER",
         [] { return std::make_unique<PlanosAVencer>(); },
         "2024-06-26 00:00:00",
         {{QStringLiteral("PLANOS"), QStringLiteral("01")}}},
        {"TRACAMENTO_PRAZO",
         [] { return std::make_unique<TracamentoPrazo>(); },
         "2024-06-15 00:00:00",
         {{QStringLiteral("DATA_TRANCAMENTO"), QStringLiteral("2024-06-01")},
          {QStringLiteral("PRAZO_TRANCAMENTO"), QStringLiteral("2024-06-15")},
          {QStringLiteral("DIAS_PRAZO_TRANCAMENTO"), 5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clearHost();
        host.exec(QStringLiteral("UPDATE Qzcvar SET PRAZOAVALMED = 6, PRAZOAVALFUN = 6"));
        host.exec(QStringLiteral("UPDATE Qzcvar2 SET TRANCAMENTO_DIAS = 5"));
        host.exec(QStringLiteral("INSERT INTO PLANOS (CODIGO, DESCRICAO) VALUES ('01', 'Mensal')"));
        QStringList expected;
        for (const Member& m : kMembers) {
            QVariantMap columns = c.columns;
            columns.insert(QStringLiteral("RECEBER_EMAIL"), m.consent);
            addMember(m.email.isNull() ? QString() : m.email.toString(), columns);
            if (m.selected) expected << m.email.toString();
        }
        // A receipt for this month for everybody, for the plans to renew.
        host.exec(
            QStringLiteral("INSERT INTO RECEB (MATRICULA, MES, ANO) SELECT MATRICULA, '06', '2024' FROM AlunosAtivos"));
        startOn(QLatin1String(c.businessDate));
        const auto campaign = c.campaign();
        ASSERT_TRUE(runCampaign(*campaign, *session, notices));
        QStringList got = outbox();
        got.sort();
        expected.sort();
        EXPECT_EQ(got.join(QStringLiteral(", ")), expected.join(QStringLiteral(", ")));
    }
}
