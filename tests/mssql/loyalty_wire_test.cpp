#include <algorithm>

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

    // The recipients' statement as the server receives it, line breaks and blanks included.
    EXPECT_EQ(Fidelidade::selection(QStringLiteral("TempFedelidade090000")).mssql,
              QStringLiteral("SELECT A.EMAIL \n"
                             "FROM ALUNOSATIVOS A, TempFedelidade090000 B\n"
                             "WHERE (A.MATRICULA = B.MATRICULA)  \n"
                             " AND ((A.EMAIL IS NOT NULL ) AND (A.RECEBER_EMAIL = 'Sim')) \n"
                             " AND  ((A.PLANOS IS NULL) OR (A.PLANOS = '')) \n"));
    // The loyal member's number goes into the run table as Unicode text, as it was read.
    const QJsonArray kept = boundValues(wire.peer.firstStatement(QStringLiteral("INSERT INTO TempFedelidade090000")));
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept.at(0)[QStringLiteral("type")].toString(), QStringLiteral("nvarchar"));
    EXPECT_EQ(kept.at(0)[QStringLiteral("value")].toString(), QStringLiteral("1234"));
    // The walk's connection logs in and sets the date order by a batch of its own before it
    // reads; everything else stays on the shared connection, inside one transaction.
    QStringList walkLines;
    for (const QJsonObject& r : onConnection(wire.peer.statements(), 2)) walkLines << line(r);
    walkLines.erase(walkLines.begin(), std::find(walkLines.begin(), walkLines.end(), QStringLiteral("batch: SET DATEFORMAT dmy")));
    ASSERT_GE(walkLines.size(), 2);
    EXPECT_EQ(walkLines.mid(0, 2), (QStringList{QStringLiteral("batch: SET DATEFORMAT dmy"),
                                                QStringLiteral("batch: SELECT MATRICULA, SAIDA, BOLSISTA FROM ALUNOSATIVOS")}));
    const QList<QJsonObject> shared = onConnection(wire.afterOpening(), 1);
    ASSERT_GE(shared.size(), 2);
    EXPECT_EQ(line(shared.first()), QStringLiteral("tm: begin"));
    const QString transaction = shared.at(1).value(QStringLiteral("transaction")).toString();
    EXPECT_NE(transaction, outside);
    for (const QJsonObject& r : shared) {
        // A transaction request carries the transaction it ends; a cancel (the driver's, when
        // a lookup's result is left after its first row) carries none.
        const QString kind = r.value(QStringLiteral("kind")).toString();
        if (kind != QLatin1String("tm") && kind != QLatin1String("attention")) {
            EXPECT_EQ(r.value(QStringLiteral("transaction")).toString(), transaction) << line(r).toStdString();
        }
    }
    EXPECT_EQ(line(shared.at(shared.size() - 2)), QStringLiteral("tm: commit"));
}
