#include <gtest/gtest.h>

#include "data/db_error.h"
#include "data/shared_connection.h"
#include "data/sql_statement.h"
#include "support/host_database.h"

using namespace velocast;

TEST(SqlStatement, PlaceholdersAreFoundOutsideQuotesOnly) {
    EXPECT_EQ(placeholdersOf(QStringLiteral(
                  "SELECT * FROM RECEB WHERE MES = :JMES AND ANO = :JANO AND X = ':NOT' AND T = '10:30'")),
              (QStringList{QStringLiteral("JMES"), QStringLiteral("JANO")}));
}

TEST(SqlStatement, AMissingOrMisspeltParameterFailsBeforeAnythingRuns) {
    velocast::testing::HostDatabase host;
    SharedConnection connection(host.dataLinkPath(), QStringLiteral("bind-test"));
    const QString insert = QStringLiteral("INSERT INTO Velocast (Email) VALUES (:Email)");
    EXPECT_THROW(runSql(connection, insert), DbError);
    EXPECT_THROW(runSql(connection, insert, {{QStringLiteral("email"), QStringLiteral("a@example.com")}}), DbError);
    EXPECT_EQ(host.count(QStringLiteral("Velocast")), 0);
    runSql(connection, insert,
           {{QStringLiteral("Email"), QStringLiteral("a@example.com")}});  // opens the connection itself
    EXPECT_EQ(host.count(QStringLiteral("Velocast")), 1);
}

// SQLite's memory bound holds while the bound lives and is given back after it, so that work
// after a campaign (the drain) runs as it did before.
TEST(SqlStatement, TheSqliteMemoryBoundHoldsForItsLifeOnly) {
    velocast::testing::HostDatabase host;
    SharedConnection connection(host.dataLinkPath(), QStringLiteral("bound-test"));
    connection.open();
    const auto bound = [&] {
        QSqlQuery q(connection.database());
        return q.exec(QStringLiteral("PRAGMA soft_heap_limit")) && q.next() ? q.value(0).toLongLong() : -1;
    };
    QSqlQuery(connection.database()).exec(QStringLiteral("PRAGMA soft_heap_limit = 123456789"));
    {
        SqliteMemoryBound memory(connection, 2000000);
        EXPECT_EQ(bound(), 2000000);
        // Work under the bound gets its answers all the same.
        QSqlQuery q =
            runSql(connection, QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n "
                                              "WHERE x < 50000) SELECT COUNT(DISTINCT x % 7919) FROM n"));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 7919);
    }
    EXPECT_EQ(bound(), 123456789);
    QSqlQuery(connection.database()).exec(QStringLiteral("PRAGMA soft_heap_limit = 0"));
}
