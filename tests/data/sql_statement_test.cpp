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
