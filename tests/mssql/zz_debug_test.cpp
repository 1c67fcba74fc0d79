#include "campaigns/aniversariante.h"
#include "campaigns/campaign.h"
#include "wire_fixture.h"
#include <cstdio>
#include <QJsonDocument>
using namespace velocast;
using namespace velocast::testing;
TEST(ZzDebug, Dump) {
    TdsRule rule = TdsRule::startingWith(QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS"));
    rule.column(QStringLiteral("EMAIL"), QStringLiteral("nvarchar"), 60);
    rule.row({QStringLiteral("a@b.com")}).row({QStringLiteral("cc@bbbb.com")}).row({QStringLiteral("d@b.com")});
    WireSession wire(sessionRules({{QStringLiteral("MARKETING_ANIVERSARUANETE"), QStringLiteral("Sim")}, {QStringLiteral("TEXTO_ANIVERSARIANTE"), QStringLiteral("abc")}},
                                  {TdsRule::rowsOf(QStringLiteral("ControleEmail"), QStringLiteral("SELECT * FROM CONTROLEEMAIL")), rule}));
    wire.connection.open();
    ASSERT_TRUE(wire.session.ABRE_TABELAS());
    Aniversariante campaign;
    ASSERT_TRUE(runCampaign(campaign, wire.session, wire.notices));
    for (const QJsonObject& r : wire.afterOpening())
        std::printf("%s\n", QJsonDocument(r).toJson(QJsonDocument::Compact).constData());
}
