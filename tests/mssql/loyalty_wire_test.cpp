#include <algorithm>

#include "campaigns/fidelidade.h"
#include "campaigns/fidelidade_batch.h"
#include "support/qt_printers.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;

namespace {

TdsRule walkOf(const QList<QVariantList>& rows) {
    TdsRule walk = TdsRule::startingWith(QStringLiteral("SELECT MATRICULA, SAIDA, BOLSISTA FROM ALUNOSATIVOS"));
    walk.column(QStringLiteral("MATRICULA"), QStringLiteral("nvarchar"), 20)
        .column(QStringLiteral("SAIDA"), QStringLiteral("datetime"))
        .column(QStringLiteral("BOLSISTA"), QStringLiteral("bit"));
    for (const QVariantList& r : rows) walk.row(r);
    return walk;
}

QList<TdsRule> loyaltyRules(const TdsRule& walk, const QList<TdsRule>& lookups) {
    TdsRule recipients = TdsRule::startingWith(QStringLiteral("SELECT A.EMAIL"));
    recipients.column(QStringLiteral("EMAIL"), QStringLiteral("nvarchar"), 60)
        .row({QStringLiteral("fiel@example.com")});
    QList<TdsRule> before{
        TdsRule::table(QStringLiteral("Caixa"), {caixa("2024-05-01 08:15:00")}),
        TdsRule::rowsOf(QStringLiteral("ControleEmail"), QStringLiteral("SELECT * FROM CONTROLEEMAIL")), walk};
    return before + lookups + QList<TdsRule>{recipients};
}

const QString kOutside = QStringLiteral("0000000000000000");

}  // namespace

// SQL Server serves one open result per connection: the members stream past on a connection
// of the campaign's own while the lookups and the run table go inside the transaction. The
// candidates are looked up a batch at a time by one prepared statement whose conditions are
// the statement per member and month's, the registration number bound as an integer (a
// zero-padded one as its number); a number too long for 64 bits keeps the statement per
// member and month, pasted as the number it is. The loyal go into the run table by one INSERT
// per batch, as the text the walk read.
TEST(LoyaltyOnTheWire, CandidatesAreLookedUpInBatchesWithThePerMemberComparisonAndWrittenByOneInsert) {
    const QString twenty = QStringLiteral("12345678901234567890");
    TdsRule batch = TdsRule::startingWith(QStringLiteral("SELECT C.N FROM"));
    batch.column(QStringLiteral("N"), QStringLiteral("bigint")).row({1234});  // 00123 paid not every month
    TdsRule longNumberPaid =
        TdsRule::startingWith(QStringLiteral("SELECT MATRICULA FROM RECEB WHERE MATRICULA = ") + twenty);
    longNumberPaid.column(QStringLiteral("MATRICULA"), QStringLiteral("nvarchar"), 20).row({twenty});
    WireSession wire(
        sessionRules({{QStringLiteral("FIDELIDADE_MESES"), 2}},
                     loyaltyRules(walkOf({{QStringLiteral("1234"), QVariant(), false},
                                          {QStringLiteral("00123"), QVariant(), QVariant()},
                                          {QStringLiteral("X1"), QStringLiteral("2024-03-01 00:00:00"), false},
                                          {twenty, QVariant(), false}}),
                                  {batch, longNumberPaid})));
    wire.connection.open();
    ASSERT_TRUE(wire.session.ABRE_TABELAS());
    Fidelidade loyalty;
    ASSERT_TRUE(runCampaign(loyalty, wire.session, wire.notices));
    EXPECT_TRUE(wire.notices.shown.empty()) << wire.notices.shown.front().detail.toStdString();

    // The batch's conditions are the per-member statements' with the bound number in place of
    // the pasted one, month by month, oldest first.
    const QList<Fidelidade::Month> months = Fidelidade::monthsExamined(wire.session.businessDate(), 2);
    QString batched = LoyaltyBatch::statement(months, LoyaltyBatch::kSize, Dialect::Mssql);
    for (const Fidelidade::Month& m : months) {
        const QString perMember = Fidelidade::paymentLookup(QStringLiteral("4321"), m)->mssql;
        EXPECT_TRUE(batched.contains(QStringLiteral("EXISTS (") +
                                     QString(perMember).replace(QLatin1String("4321"), QLatin1String("C.N")) +
                                     QLatin1Char(')')))
            << batched.left(300).toStdString();
    }
    QStringList markers;
    for (int i = 1; i <= LoyaltyBatch::kSize; ++i) markers << QStringLiteral("(@P%1)").arg(i);
    batched.replace(QLatin1String("(?)"), QLatin1String("\x01"));
    for (const QString& m : markers) batched.replace(batched.indexOf(QLatin1Char('\x01')), 1, m);

    QStringList ours;
    for (const QJsonObject& r : wire.afterOpening()) {
        const QString sql = r.value(QStringLiteral("sql")).toString();
        if (!sql.contains(QLatin1String("RECEB")) && !sql.contains(QLatin1String("ALUNOSATIVOS")) &&
            !sql.contains(QLatin1String("TempFedelidade")))
            continue;
        const bool inTransaction = r.value(QStringLiteral("transaction")).toString() != kOutside;
        ours << (inTransaction ? QStringLiteral("in  ") : QStringLiteral("out ")) + line(r);
    }
    EXPECT_EQ(
        ours,
        (QStringList{
            QStringLiteral("in  batch: DELETE FROM TempFedelidade090000"),
            QStringLiteral("out batch: SELECT MATRICULA, SAIDA, BOLSISTA FROM ALUNOSATIVOS"),
            QStringLiteral("in  rpc sp_prepexec: ") + batched,
            QStringLiteral("in  batch: ") + Fidelidade::paymentLookup(twenty, months[0])->mssql,
            QStringLiteral("in  batch: ") + Fidelidade::paymentLookup(twenty, months[1])->mssql,
            QStringLiteral("in  rpc sp_prepexec: INSERT INTO TempFedelidade090000 (MATRICULA) VALUES (@P1),(@P2)"),
            QStringLiteral("in  batch: ") + Fidelidade::selection(QStringLiteral("TempFedelidade090000")).mssql,
        }));
    EXPECT_EQ(wire.peer.firstStatement(QStringLiteral("INSERT INTO Velocast")).isEmpty(), false);

    // The candidates' numbers as integers, the zero-padded one as its number, the batch filled
    // up with NULL (which matches no row) so that one prepared statement serves every batch.
    const QJsonArray bound = boundValues(wire.peer.firstStatement(QStringLiteral("SELECT C.N FROM")));
    ASSERT_EQ(bound.size(), LoyaltyBatch::kSize);
    EXPECT_EQ(bound.at(0)[QStringLiteral("value")].toInteger(), 1234);
    EXPECT_EQ(bound.at(1)[QStringLiteral("value")].toInteger(), 123);
    EXPECT_TRUE(bound.at(2)[QStringLiteral("value")].isNull());
    EXPECT_TRUE(bound.at(LoyaltyBatch::kSize - 1)[QStringLiteral("value")].isNull());
    EXPECT_EQ(bound.at(0)[QStringLiteral("type")].toString(), QStringLiteral("int"));
    EXPECT_EQ(bound.at(LoyaltyBatch::kSize - 1)[QStringLiteral("type")].toString(), QStringLiteral("int"));
    // The loyal members' numbers go into the run table as Unicode text declared with the
    // column's width (a longer one with its own, for the server to refuse), as they were read.
    const QJsonObject insert = wire.peer.firstStatement(QStringLiteral("INSERT INTO TempFedelidade"));
    EXPECT_EQ(insert.value(QStringLiteral("declarations")).toString(),
              QStringLiteral("@P1 NVARCHAR(10),@P2 NVARCHAR(20)"));
    QStringList kept;
    for (const QJsonValue& v : boundValues(insert)) {
        EXPECT_EQ(v[QStringLiteral("type")].toString(), QStringLiteral("nvarchar"));
        kept << v[QStringLiteral("value")].toString();
    }
    EXPECT_EQ(kept, (QStringList{QStringLiteral("1234"), twenty}));

    // The walk's connection logs in and sets the date order by a batch of its own before it
    // reads; everything else stays on the shared connection, inside one transaction.
    QStringList walkLines;
    for (const QJsonObject& r : onConnection(wire.peer.statements(), 2)) walkLines << line(r);
    walkLines.erase(walkLines.begin(),
                    std::find(walkLines.begin(), walkLines.end(), QStringLiteral("batch: SET DATEFORMAT dmy")));
    ASSERT_GE(walkLines.size(), 3);
    EXPECT_EQ(walkLines.mid(0, 3),
              (QStringList{QStringLiteral("batch: SET DATEFORMAT dmy"), QStringLiteral("batch: SET LOCK_TIMEOUT 30000"),
                           QStringLiteral("batch: SELECT MATRICULA, SAIDA, BOLSISTA FROM ALUNOSATIVOS")}));
    const QList<QJsonObject> shared = onConnection(wire.afterOpening(), 1);
    ASSERT_GE(shared.size(), 2);
    // The transaction the opening's commit began.
    const QString transaction = shared.at(0).value(QStringLiteral("transaction")).toString();
    EXPECT_NE(transaction, kOutside);
    for (const QJsonObject& r : shared) {
        // A transaction request carries the transaction it ends; a cancel (the driver's, when
        // a lookup's result is left after its first row) carries none.
        const QString kind = r.value(QStringLiteral("kind")).toString();
        if (kind != QLatin1String("tm") && kind != QLatin1String("attention")) {
            EXPECT_EQ(r.value(QStringLiteral("transaction")).toString(), transaction) << line(r).toStdString();
        }
    }
    EXPECT_TRUE(line(shared.last()) == QStringLiteral("tm: commit") ||
                line(shared.at(shared.size() - 2)) == QStringLiteral("tm: commit"));
}

// A registration number that is not a whole number never reaches a statement: the campaign
// fails before any lookup, as the statement per member would have failed on the server.
TEST(LoyaltyOnTheWire, ARegistrationNumberThatIsNoIntegerIsRefusedBeforeAnyLookup) {
    WireSession wire(sessionRules(
        {{QStringLiteral("FIDELIDADE_MESES"), 2}},
        loyaltyRules(walkOf({{QStringLiteral("1234"), QVariant(), false}, {QStringLiteral("12A"), QVariant(), false}}),
                     {})));
    wire.connection.open();
    ASSERT_TRUE(wire.session.ABRE_TABELAS());
    Fidelidade loyalty;
    EXPECT_FALSE(runCampaign(loyalty, wire.session, wire.notices));
    ASSERT_EQ(wire.notices.shown.size(), 1u);
    EXPECT_EQ(wire.notices.shown.at(0).detail, Fidelidade::kDatabaseDetail);
    for (const QString& l : wire.ours()) EXPECT_FALSE(l.contains(QLatin1String("RECEB"))) << l.toStdString();
    EXPECT_EQ(wire.ours().last(), QStringLiteral("tm: rollback"));
}

// Every road of the campaign goes a batch at a time, whatever FIDELIDADE_MESES says: with no
// months to examine the run table is filled a thousand members a statement, and more months
// than one statement examines take one statement per stretch of them, each asking only about
// the candidates that paid every month before it (here: everyone, as the batch echoes them).
TEST(LoyaltyOnTheWire, EveryMonthCountLooksUpAndWritesByTheBatch) {
    struct Case {
        QVariant months;
        int members;
        int lookups;  // SELECT C.N requests
        int inserts;  // INSERT INTO TempFedelidade requests
    };
    const Case cases[] = {
        {0, 1001, 0, 2},
        {QVariant(), 3, 0, 1},
        {130, 3, 2, 1},
        {250, 3, 3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("FIDELIDADE_MESES=" + c.months.toString().toStdString());
        TdsRule walk = walkOf({});
        walk.generated(c.members, {QStringLiteral("{i}"), QVariant(), false});
        TdsRule batch = TdsRule::startingWith(QStringLiteral("SELECT C.N FROM"));
        batch.column(QStringLiteral("N"), QStringLiteral("bigint")).echoingIntegers();
        WireSession wire(sessionRules({{QStringLiteral("FIDELIDADE_MESES"), c.months}}, loyaltyRules(walk, {batch})));
        wire.connection.open();
        ASSERT_TRUE(wire.session.ABRE_TABELAS());
        Fidelidade loyalty;
        ASSERT_TRUE(runCampaign(loyalty, wire.session, wire.notices));
        int lookups = 0, inserts = 0, perMember = 0;
        qsizetype written = 0;
        for (const QJsonObject& r : wire.afterOpening()) {
            const QString sql = r.value(QStringLiteral("sql")).toString();
            if (sql.startsWith(QLatin1String("SELECT C.N FROM"))) {
                ++lookups;
                // The months of one statement: never more than it may examine.
                EXPECT_LE(sql.count(QLatin1String("EXISTS")), LoyaltyBatch::kMaxMonths);
            }
            if (sql.startsWith(QLatin1String("SELECT MATRICULA FROM RECEB"))) ++perMember;
            if (sql.startsWith(QLatin1String("INSERT INTO TempFedelidade"))) {
                ++inserts;
                written += boundValues(r).size();
            }
        }
        EXPECT_EQ(lookups, c.lookups);
        EXPECT_EQ(perMember, 0);
        EXPECT_EQ(inserts, c.inserts);
        EXPECT_EQ(written, c.members);
    }
}
