#include "campaigns/fidelidade.h"
#include "support/qt_printers.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;

// SQL Server serves one open result per connection: the members stream past on a connection
// of the campaign's own while the lookups and the run table go inside the transaction.
TEST(LoyaltyOnTheWire, MembersStreamOnAConnectionOfTheirOwnAndLookupsCarryOnlyIntegers) {
    TdsRule walk = TdsRule::startingWith(QStringLiteral("SELECT MATRICULA, SAIDA, BOLSISTA FROM ALUNOSATIVOS"));
    walk.column(QStringLiteral("MATRICULA"), QStringLiteral("nvarchar"), 10)
        .column(QStringLiteral("SAIDA"), QStringLiteral("datetime"))
        .column(QStringLiteral("BOLSISTA"), QStringLiteral("bit"));
    walk.row({QStringLiteral("1234"), QVariant(), false})
        .row({QStringLiteral("00123"), QVariant(), QVariant()})
        .row({QStringLiteral("X1"), QStringLiteral("2024-03-01 00:00:00"), false});
    const auto paid = [](const char* month) {
        TdsRule r = TdsRule::exactly(QStringLiteral("SELECT MATRICULA FROM RECEB WHERE MATRICULA = 1234 AND MES = %1 AND ANO = 2024")
                                         .arg(QLatin1String(month)));
        r.column(QStringLiteral("MATRICULA"), QStringLiteral("nvarchar"), 10).row({QStringLiteral("1234")});
        return r;
    };
    TdsRule unpaid = TdsRule::startingWith(QStringLiteral("SELECT MATRICULA FROM RECEB"));
    unpaid.column(QStringLiteral("MATRICULA"), QStringLiteral("nvarchar"), 10);
    TdsRule recipients = TdsRule::startingWith(QStringLiteral("SELECT A.EMAIL"));
    recipients.column(QStringLiteral("EMAIL"), QStringLiteral("nvarchar"), 60).row({QStringLiteral("fiel@example.com")});

    WireSession wire(sessionRules({{QStringLiteral("FIDELIDADE_MESES"), 2}},
                                  {TdsRule::table(QStringLiteral("Caixa"), {caixa("2024-05-01 08:15:00")}),
                                   TdsRule::rowsOf(QStringLiteral("ControleEmail"), QStringLiteral("SELECT * FROM CONTROLEEMAIL")),
                                   walk, paid("03"), paid("04"), unpaid, recipients}));
    wire.connection.open();
    ASSERT_TRUE(wire.session.ABRE_TABELAS());
    Fidelidade loyalty;
    ASSERT_TRUE(runCampaign(loyalty, wire.session, wire.notices));
    EXPECT_TRUE(wire.notices.shown.empty()) << wire.notices.shown.front().detail.toStdString();

    const QString outside = QStringLiteral("0000000000000000");
    QStringList ours;
    for (const QJsonObject& r : wire.afterOpening()) {
        const QString sql = r.value(QStringLiteral("sql")).toString();
        if (!sql.contains(QLatin1String("RECEB")) && !sql.contains(QLatin1String("ALUNOSATIVOS")) &&
            !sql.contains(QLatin1String("TempFedelidade")))
            continue;
        const bool inTransaction = r.value(QStringLiteral("transaction")).toString() != outside;
        ours << (inTransaction ? QStringLiteral("in  ") : QStringLiteral("out ")) + line(r);
    }
    EXPECT_EQ(ours, (QStringList{
                        QStringLiteral("in  batch: DELETE FROM TempFedelidade090000"),
                        QStringLiteral("out batch: SELECT MATRICULA, SAIDA, BOLSISTA FROM ALUNOSATIVOS"),
                        QStringLiteral("in  batch: SELECT MATRICULA FROM RECEB WHERE MATRICULA = 1234 AND MES = 03 AND ANO = 2024"),
                        QStringLiteral("in  batch: SELECT MATRICULA FROM RECEB WHERE MATRICULA = 1234 AND MES = 04 AND ANO = 2024"),
                        QStringLiteral("in  rpc sp_prepexec: INSERT INTO TempFedelidade090000 (MATRICULA) VALUES (@P1)"),
                        QStringLiteral("in  batch: SELECT MATRICULA FROM RECEB WHERE MATRICULA = 00123 AND MES = 03 AND ANO = 2024"),
                        QStringLiteral("in  batch: ") + Fidelidade::selection(QStringLiteral("TempFedelidade090000")).mssql,
                    }));
    EXPECT_EQ(wire.peer.firstStatement(QStringLiteral("INSERT INTO Velocast")).isEmpty(), false);
}
