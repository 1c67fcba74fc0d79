#include "campaigns/aniversariante.h"
#include "campaigns/campaign.h"
#include "campaigns/fidelidade.h"
#include "support/qt_printers.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;

namespace {

QVariantMap birthdaySettings() { return {{QStringLiteral("MARKETING_ANIVERSARUANETE"), QStringLiteral("Sim")}}; }

QJsonObject loginOf(const QList<QJsonObject>& requests, int connection) {
    for (const QJsonObject& r : onConnection(requests, connection))
        if (r.value(QStringLiteral("kind")).toString() == QLatin1String("login")) return r;
    return {};
}

}  // namespace

// Every connection names the program, bounds its lock waits before it reads, and a connection
// that only reads says so in its login.
TEST(BoundsOnTheWire, ConnectionsNameTheProgramBoundLockWaitsAndReadersSayTheyOnlyRead) {
    WireSession wire(sessionRules());
    wire.connection.bounds.lockTimeoutSeconds = 7;
    wire.connection.open();
    SharedConnection reader(wire.peer.dataLinkPath(), QStringLiteral("bounds-reader"));
    reader.readOnly = true;
    reader.open();

    const QList<QJsonObject> requests = wire.peer.requests();
    EXPECT_EQ(loginOf(requests, 1).value(QStringLiteral("application")).toString(), QStringLiteral("Velocast 2.10"));
    EXPECT_FALSE(loginOf(requests, 1).value(QStringLiteral("read_only_intent")).toBool());
    EXPECT_EQ(loginOf(requests, 2).value(QStringLiteral("application")).toString(), QStringLiteral("Velocast 2.10"));
    EXPECT_TRUE(loginOf(requests, 2).value(QStringLiteral("read_only_intent")).toBool());
    for (int connection : {1, 2}) {
        QStringList lines;
        for (const QJsonObject& r : onConnection(wire.peer.statements(), connection)) lines << line(r);
        const qsizetype at = lines.indexOf(QStringLiteral("batch: SET DATEFORMAT dmy"));
        ASSERT_GE(at, 0);
        EXPECT_EQ(lines.mid(at, 2), (QStringList{QStringLiteral("batch: SET DATEFORMAT dmy"),
                                                 connection == 1 ? QStringLiteral("batch: SET LOCK_TIMEOUT 7000")
                                                                 : QStringLiteral("batch: SET LOCK_TIMEOUT 30000")}));
    }
}

// A campaign that waits too long, for a lock the club's system holds (the server's error
// 1222) or on a statement that never ends (the driver cancels it), fails as any failed
// campaign does: rolled back, the notice shown, and its detail names the time-out.
TEST(BoundsOnTheWire, ALockOrQueryTimeOutRollsTheCampaignBackWithANoticeThatNamesIt) {
    struct Case {
        const char* name;
        TdsRule selection;
        const char* named;
        bool cancelled;
    };
    const QString select = QStringLiteral("SELECT EMAIL FROM ALUNOSATIVOS");
    const QList<Case> cases{
        {"lock", TdsRule::startingWith(select).error(QStringLiteral("Lock request time out period exceeded."), 1222),
         "lock time-out", false},
        {"query", TdsRule::startingWith(select).hanging(), "query time-out", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WireSession wire(sessionRules(
            birthdaySettings(),
            {TdsRule::rowsOf(QStringLiteral("ControleEmail"), QStringLiteral("SELECT * FROM CONTROLEEMAIL")),
             c.selection}));
        wire.connection.bounds.queryTimeoutSeconds = 1;
        wire.connection.open();
        ASSERT_TRUE(wire.session.ABRE_TABELAS());
        Aniversariante campaign;
        EXPECT_FALSE(runCampaign(campaign, wire.session, wire.notices));
        ASSERT_EQ(wire.notices.shown.size(), 1u);
        EXPECT_EQ(wire.notices.shown.at(0).text, kGravandoNaTabela);
        EXPECT_TRUE(wire.notices.shown.at(0).detail.startsWith(QStringLiteral("Velocast\n")));
        EXPECT_TRUE(wire.notices.shown.at(0).detail.contains(QLatin1String(c.named)))
            << wire.notices.shown.at(0).detail.toStdString();
        QStringList lines;
        for (const QJsonObject& r : wire.afterOpening()) lines << line(r);
        EXPECT_EQ(lines.contains(QStringLiteral("attention: ")), c.cancelled)
            << lines.join(QLatin1Char(10)).toStdString();
        EXPECT_EQ(lines.last(), QStringLiteral("tm: rollback"));
        EXPECT_FALSE(lines.contains(QStringLiteral("tm: commit")));
        EXPECT_FALSE(wire.connection.inTransaction());
    }
}
