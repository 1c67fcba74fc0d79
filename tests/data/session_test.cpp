#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "data/db_error.h"
#include "notices/notices.h"
#include "support/recording_notices.h"
#include "data/failure_cause.h"
#include "data/session.h"
#include "data/watchdog.h"
#include "support/host_database.h"
#include "session_fixture.h"
#include "support/session_test.h"

using namespace velocast;
using velocast::testing::HostDatabase;

TEST_F(SessionFixture, OpensEverythingAndTearsDownItsRunTable) {
    host.exec(QStringLiteral("INSERT INTO Caixa (DATAABERTURA) VALUES ('2024-05-20 08:00:00')"));
    host.exec(QStringLiteral("INSERT INTO Caixa (DATAABERTURA) VALUES ('2024-06-03 07:30:00')"));
    host.exec(QStringLiteral("INSERT INTO Caixa (DATAABERTURA) VALUES ('2024-05-25 09:00:00')"));

    ASSERT_TRUE(session.ABRE_TABELAS());
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_EQ(session.runTableName(), QStringLiteral("TempFedelidade070509"));
    EXPECT_TRUE(host.tableExists(QStringLiteral("TempFedelidade070509")));
    // The last row as returned, not the latest date; the time of day is kept.
    EXPECT_EQ(session.businessDate().format(QStringLiteral("DD/MM/YYYY")), QStringLiteral("25/05/2024"));
    EXPECT_EQ(session.businessDate().format(QStringLiteral("HHMMSS")), QStringLiteral("090000"));
    for (Dataset* d : {&session.TBLCONTROLE, &session.TBLCONTROLE2, &session.TBLVelocast, &session.TBLCAIXA,
                       &session.TBLALUNOS, &session.TBLTEMPFEDELIDADE})
        EXPECT_TRUE(d->isOpen()) << d->name().toStdString();

    session.teardown();
    EXPECT_FALSE(host.tableExists(QStringLiteral("TempFedelidade070509")));
}

TEST_F(SessionFixture, EmptyCaixaGivesTheZeroDate) {
    host.exec(QStringLiteral("DELETE FROM Caixa"));
    ASSERT_TRUE(session.ABRE_TABELAS());
    EXPECT_EQ(session.businessDate().format(QStringLiteral("DD/MM/YYYY")), QStringLiteral("30/12/1899"));
}

// The detail's first line is the table, as it always was; the second names the database file
// and the cause, so that a missing table and a missing column no longer look alike.
TEST_F(SessionFixture, EachFailingStepNamesItsTableTheDatabaseAndTheCause) {
    struct Case {
        const char* breakIt;
        const char* detail;
        const char* cause;
    };
    const Case cases[] = {
        {"ALTER TABLE Qzcvar2 DROP COLUMN EMAIL", "Controle2",
         "table Qzcvar2 has no column EMAIL (a column Velocast reads is missing"},
        {"ALTER TABLE Qzcvar2 DROP COLUMN MARKETING_NOVO", "Controle2", "has no column MARKETING_NOVO"},
        {"ALTER TABLE Qzcvar RENAME TO QzcvarOld", "Controle", "no such table: Qzcvar"},
        {"ALTER TABLE Velocast DROP COLUMN IMAGEM_CORPO_MARKETING", "Velocast", "has no column IMAGEM_CORPO_MARKETING"},
        {"DROP TABLE Caixa", "Caixa", "no such table: Caixa"},
        {"ALTER TABLE AlunosAtivos DROP COLUMN BOLSISTA", "Alunos", "has no column BOLSISTA"},
        {"DROP TABLE AlunosAtivos", "Alunos", "likely another database than the club's"},
    };
    for (const Case& c : cases) {
        HostDatabase broken;
        broken.exec(QLatin1String(c.breakIt));
        SharedConnection conn(broken.dataLinkPath(), QStringLiteral("broken"));
        conn.open();
        RecordingNotices shown;
        Session s(conn, shown);
        EXPECT_FALSE(s.ABRE_TABELAS()) << c.breakIt;
        ASSERT_EQ(shown.shown.size(), 1u) << c.breakIt;
        EXPECT_EQ(shown.shown[0].text, kAberturaDeTabela);
        const QString detail = shown.shown[0].detail;
        EXPECT_TRUE(
            detail.startsWith(QLatin1String(c.detail) + QStringLiteral("\nthe SQLite file %1: ").arg(broken.path())))
            << detail.toStdString();
        EXPECT_TRUE(detail.contains(QLatin1String(c.cause))) << detail.toStdString();
        s.teardown();
    }
}

TEST_F(SessionFixture, RunTablesLeftByKilledRunsNeverStopAStartAndTheLockHolderRemovesThem) {
    // A burst of killed runs left their tables behind, several in the same second.
    const QStringList leftOver = {QStringLiteral("TempFedelidade070509"), QStringLiteral("TempFedelidade070509_2"),
                                  QStringLiteral("tempfedelidade070509_3"), QStringLiteral("TempFedelidade235959")};
    for (const QString& name : leftOver) host.exec(QStringLiteral("CREATE TABLE %1 (MATRICULA TEXT)").arg(name));
    // The club's own tables that merely begin alike are no run tables.
    const QStringList clubs = {QStringLiteral("TEMPFEDELIDADE"), QStringLiteral("TempFedelidadeClube")};
    for (const QString& name : clubs) host.exec(QStringLiteral("CREATE TABLE %1 (MATRICULA TEXT)").arg(name));
    auto runTables = [&] {
        QStringList names = host.strings(
            QStringLiteral("SELECT name FROM sqlite_master WHERE name LIKE 'TempFedelidade%' ORDER BY name"));
        for (const QString& club : clubs) names.removeOne(club);
        return names;
    };

    // Without the database lock another copy may be working with one of them: a free name is
    // found and nothing is removed.
    ASSERT_TRUE(session.ABRE_TABELAS());
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_EQ(session.runTableName(), QStringLiteral("TempFedelidade070509_4"));
    EXPECT_EQ(session.leftOverRunTablesDropped(), 0);
    EXPECT_EQ(runTables().size(), leftOver.size() + 1);
    session.teardown();

    // The copy that holds the lock removes every run table but its own.
    SharedConnection other(host.dataLinkPath(), QStringLiteral("lock-holder"));
    other.open();
    RecordingNotices otherNotices;
    Session holder(other, otherNotices);
    ASSERT_TRUE(holder.databaseLock.take());
    ASSERT_TRUE(holder.ABRE_TABELAS());
    EXPECT_TRUE(otherNotices.shown.empty());
    EXPECT_EQ(holder.leftOverRunTablesDropped(), leftOver.size());
    EXPECT_EQ(runTables(), QStringList{holder.runTableName()});
    holder.teardown();
    EXPECT_TRUE(runTables().isEmpty());
    for (const QString& club : clubs) EXPECT_EQ(host.count(club), 0) << club.toStdString();  // still there, untouched
}

TEST_F(SessionFixture, OneCopyAtATimeHoldsTheDatabaseAndTheOthersAreToldWhoDoes) {
    SharedConnection other(host.dataLinkPath(), QStringLiteral("second-copy"));
    other.open();
    RecordingNotices otherNotices;
    Session second(other, otherNotices);

    ASSERT_TRUE(session.databaseLock.take());
    EXPECT_TRUE(session.databaseLock.take());  // asked again by the holder: still held
    EXPECT_FALSE(second.databaseLock.take());
    EXPECT_FALSE(second.databaseLock.held());
    const QString line = second.databaseLock.standAsideText();
    EXPECT_TRUE(line.startsWith(QStringLiteral("another Velocast is working on this database: ") +
                                QSysInfo::machineHostName() + QStringLiteral(", since ")))
        << line.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral(", since \\d\\d:\\d\\d$")).match(line).hasMatch())
        << line.toStdString();

    // A reconnect does not give the file lock up; the end of the holder does.
    connection.close();
    connection.open();
    EXPECT_TRUE(session.databaseLock.held());
    EXPECT_FALSE(second.databaseLock.take());
    session.databaseLock.release();
    EXPECT_TRUE(second.databaseLock.take());
}

TEST_F(SessionFixture, TeardownNeverDropsAHostTableOfThePlaceholderName) {
    host.exec(QStringLiteral("CREATE TABLE TEMPFEDELIDADE (MATRICULA TEXT)"));
    session.teardown();
    EXPECT_TRUE(host.tableExists(QStringLiteral("TEMPFEDELIDADE")));
}

TEST_F(SessionFixture, AClosedConnectionIsAnErrorForTheCaller) {
    connection.close();
    EXPECT_THROW(session.ABRE_TABELAS(), DbError);
    EXPECT_TRUE(notices.shown.empty());
}

TEST(SqlServerLogin, AServerThatNeverAnswersGivesUpAfterTheLoginTimeout) {
    // Accepts TCP connections (the kernel's backlog does) and never says a word.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QTemporaryDir dir;
    const QString udl = dir.filePath(QStringLiteral("Korvana.udl"));
    velocast::testing::writeDataLink(udl, QStringLiteral("Provider=SQLOLEDB.1;User ID=sa;Password=x;Initial Catalog=K;"
                                                         "Data Source=127.0.0.1,%1")
                                              .arg(silent.serverPort()));
    SharedConnection connection(udl, QStringLiteral("silent-server"));
    connection.loginTimeoutSeconds = 2;
    try {
        connection.open();
        ADD_FAILURE() << "a silent server was taken for a database";
    } catch (const DbError& e) {
        EXPECT_TRUE(e.message().contains(udl)) << e.what();
    }
}

// The causes a person meets most are said in words that point at what to change; any other
// text passes as the driver gave it, with the database it came from.
TEST(DatabaseFailureCause, CommonCausesSayWhatToChange) {
    struct Case {
        const char* error;
        const char* meaning;
    };
    const Case cases[] = {
        {"file is not a database Unable to execute statement", "correct Data Source in the data-link file"},
        {"[FreeTDS][SQL Server]Invalid object name 'Caixa'.", "another database than the club's"},
        {"[FreeTDS][SQL Server]Invalid column name 'BOLSISTA'.", "a column Velocast reads is missing"},
        {"database is locked Unable to fetch row", "another program holds a write lock"},
        {"[FreeTDS][SQL Server]Login failed for user 'velocast'.",
         "correct User ID and Password in the data-link file"},
        {"disk I/O error", nullptr},
    };
    for (const Case& c : cases) {
        const QString said = explainDatabaseFailure(QStringLiteral("the database KORVANA on the SQL Server db,1433"),
                                                    QLatin1String(c.error));
        EXPECT_TRUE(said.startsWith(
            QStringLiteral("the database KORVANA on the SQL Server db,1433: %1").arg(QLatin1String(c.error))))
            << said.toStdString();
        if (c.meaning) EXPECT_TRUE(said.contains(QLatin1String(c.meaning))) << said.toStdString();
        else EXPECT_FALSE(said.contains(QLatin1Char('('))) << said.toStdString();
    }
}
