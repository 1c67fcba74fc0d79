#include "campaigns/member_of_address.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;

// The report's member lookup on SQL Server: the address goes as a bound parameter, never into
// the statement's text, and a server that cannot answer leaves the address alone.
TEST(MemberOnTheWire, TheAddressIsABoundParameterAndAFailureIsNoMember) {
    TdsRule member = TdsRule::startingWith(QStringLiteral("SELECT MATRICULA, NOME FROM ALUNOSATIVOS"));
    member.column(QStringLiteral("MATRICULA"), QStringLiteral("nvarchar"), 10)
        .column(QStringLiteral("NOME"), QStringLiteral("nvarchar"), 35)
        .row({QStringLiteral("0042 "), QStringLiteral("Ana Souza")});
    WireSession wire(sessionRules({}, {member}));
    wire.connection.open();
    const std::optional<MemberRecord> found =
        memberOfAddress(wire.connection, QStringLiteral(" Ana.Souza@Exemplo.NET"));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->number, QStringLiteral("0042"));
    EXPECT_EQ(found->name, QStringLiteral("Ana Souza"));
    bool bound = false;
    for (const QJsonObject& r : wire.peer.statements()) {
        const QString sql = r.value(QStringLiteral("sql")).toString();
        if (!sql.contains(QLatin1String("FROM ALUNOSATIVOS"))) continue;
        EXPECT_FALSE(sql.contains(QLatin1String("exemplo"), Qt::CaseInsensitive)) << sql.toStdString();
        for (const QJsonValue& p : r.value(QStringLiteral("params")).toArray())
            bound = bound ||
                    p.toObject().value(QStringLiteral("value")).toString() == QLatin1String("ana.souza@exemplo.net");
    }
    EXPECT_TRUE(bound) << wire.ours().join(u'\n').toStdString();

    wire.connection.close();
    EXPECT_FALSE(memberOfAddress(wire.connection, QStringLiteral("ana.souza@exemplo.net")).has_value());
}
