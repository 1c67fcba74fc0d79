#include <QSqlQuery>
#include <QSqlRecord>

#include "support/qt_printers.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;

// What the stand-in server must understand besides plain batches: a scrollable query goes
// as a server cursor, a prepared query runs again by its handle.
TEST(TdsPeer, AnswersServerCursorsAndPreparedStatementsAsTheScriptSays) {
    WireSession wire(sessionRules({}, {TdsRule::startingWith(QStringLiteral("SELECT NOME FROM ALUNOS"))
                                           .column(QStringLiteral("NOME"), QStringLiteral("nvarchar"), 35)
                                           .column(QStringLiteral("DESDE"), QStringLiteral("datetime"))
                                           .row({QStringLiteral("Zoë"), QStringLiteral("2024-05-20 08:15:00")})
                                           .row({QStringLiteral("Çécile"), QVariant()})}));
    wire.connection.open();
    QSqlDatabase db = wire.connection.database();

    QSqlQuery scrollable(db);  // not forward-only: Qt asks for a static cursor
    ASSERT_TRUE(scrollable.exec(QStringLiteral("SELECT NOME FROM ALUNOS")));
    QStringList names;
    while (scrollable.next()) names << scrollable.value(0).toString();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Zoë"), QStringLiteral("Çécile")}));
    scrollable.finish();

    QSqlQuery prepared(db);
    prepared.setForwardOnly(true);
    ASSERT_TRUE(prepared.prepare(QStringLiteral("SELECT NOME FROM ALUNOS WHERE MATRICULA = ?")));
    for (int key : {1, 2}) {
        prepared.addBindValue(key);
        ASSERT_TRUE(prepared.exec());
        ASSERT_TRUE(prepared.next());
        EXPECT_EQ(prepared.value(0).toString(), QStringLiteral("Zoë"));
        EXPECT_EQ(prepared.record().value(1).toDateTime(), QDateTime(QDate(2024, 5, 20), QTime(8, 15)));
        prepared.finish();
    }

    QStringList procedures;
    for (const QJsonObject& r : wire.peer.statements()) procedures << r.value(QStringLiteral("proc")).toString();
    for (const char* proc : {"sp_cursoropen", "sp_cursorfetch", "sp_cursorclose", "sp_prepexec"})
        EXPECT_TRUE(procedures.contains(QLatin1String(proc))) << proc;
}
