#include <QRegularExpression>

#include "data/sql_server_encryption.h"
#include "support/host_database.h"
#include "support/test_certificate.h"
#include "support/qt_printers.h"
#include "wire_fixture.h"

using namespace velocast;
using namespace velocast::testing;

TEST(SessionOnTheWire, OpeningAndTeardownArriveInOrderWithDayFirstDatesSetByABatchOfTheirOwn) {
    WireSession wire(sessionRules());
    wire.connection.open();
    ASSERT_TRUE(wire.session.ABRE_TABELAS());
    wire.session.teardown();

    const QList<QJsonObject> requests = wire.peer.requests();
    ASSERT_GE(requests.size(), 3);
    EXPECT_EQ(requests.at(0).value(QStringLiteral("kind")).toString(), QStringLiteral("prelogin"));
    const QJsonObject login = requests.at(1);
    EXPECT_EQ(login.value(QStringLiteral("kind")).toString(), QStringLiteral("login"));
    EXPECT_EQ(login.value(QStringLiteral("user")).toString(), QStringLiteral("velocast"));
    EXPECT_EQ(login.value(QStringLiteral("password")).toString(), QStringLiteral("segredo"));
    EXPECT_EQ(login.value(QStringLiteral("database")).toString(), QStringLiteral("KORVANA"));

    // A SET made inside a procedure call (a server cursor) ends with the call, so the date
    // order must be set by a plain batch, before anything reads a date.
    for (const QString& l : wire.peer.summary()) {
        if (l.contains(QLatin1String("DATEFORMAT"))) {
            EXPECT_EQ(l, QStringLiteral("batch: SET DATEFORMAT dmy"));
        }
    }
    EXPECT_EQ(
        wire.ours(),
        (QStringList{
            QStringLiteral("batch: SET DATEFORMAT dmy"),
            QStringLiteral("batch: SET LOCK_TIMEOUT 30000"),
            QStringLiteral("tm: begin"),
            // Which run table names are taken already.
            QStringLiteral(
                "batch: SELECT name FROM sys.tables WHERE schema_id = SCHEMA_ID() AND name LIKE 'TempFedelidade%'"),
            QStringLiteral("batch: CREATE TABLE TempFedelidade090000\n(MATRICULA NVARCHAR(10), )"),
            // The commit begins the next transaction at once; the reads run in
            // it as they would outside.
            // The tables only checked for their columns are asked for no row.
            QStringLiteral("tm: commit"),
            QStringLiteral("batch: SELECT TOP 0 * FROM TempFedelidade090000"),
            QStringLiteral("batch: SELECT * FROM Qzcvar"),
            QStringLiteral("batch: SELECT * FROM Qzcvar2"),
            QStringLiteral("batch: SELECT TOP 0 * FROM Velocast"),
            QStringLiteral("batch: SELECT * FROM Caixa"),
            QStringLiteral("batch: SELECT TOP 0 * FROM AlunosAtivos"),
            // A write outside any transaction first ends that empty one.
            QStringLiteral("tm: rollback"),
            QStringLiteral("batch: DROP TABLE TempFedelidade090000"),
        }));
    // The run table is created inside the transaction, dropped outside any.
    EXPECT_NE(wire.peer.firstStatement(QStringLiteral("CREATE TABLE")).value(QStringLiteral("transaction")).toString(),
              QStringLiteral("0000000000000000"));
    EXPECT_EQ(wire.peer.firstStatement(QStringLiteral("DROP TABLE")).value(QStringLiteral("transaction")).toString(),
              QStringLiteral("0000000000000000"));
    // The business date is the last Caixa row the server returned, time of day kept.
    EXPECT_EQ(wire.session.businessDate().format(QStringLiteral("DD/MM/YYYY")), QStringLiteral("20/05/2024"));
    EXPECT_EQ(wire.session.businessDate().toQDateTime().time(), QTime(8, 15));
    EXPECT_TRUE(wire.notices.shown.empty());
}

TEST(SessionOnTheWire, AServerErrorInTheOpeningIsNoticedWithTheTable) {
    WireSession wire(sessionRules({}, {TdsRule::exactly(QStringLiteral("SELECT * FROM Caixa"))
                                           .error(QStringLiteral("Invalid object name 'Caixa'."))}));
    wire.connection.open();
    EXPECT_FALSE(wire.session.ABRE_TABELAS());
    ASSERT_EQ(wire.notices.shown.size(), 1u);
    // The table, then the server and catalog it was read from and what the error means.
    const QString detail = wire.notices.shown.at(0).detail;
    EXPECT_TRUE(detail.startsWith(QStringLiteral("Caixa\nthe database "))) << detail.toStdString();
    EXPECT_TRUE(detail.contains(QLatin1String("on the SQL Server 127.0.0.1,"))) << detail.toStdString();
    EXPECT_TRUE(detail.contains(QLatin1String("Invalid object name 'Caixa'."))) << detail.toStdString();
    EXPECT_TRUE(detail.contains(QLatin1String("(a table of the club's system is missing"))) << detail.toStdString();
    EXPECT_FALSE(wire.ours().contains(QStringLiteral("batch: SELECT TOP 0 * FROM AlunosAtivos")));
    wire.session.teardown();
}

TEST(SessionOnTheWire, RunTablesLeftByKilledRunsGiveTheNameANumberAndTheLockHolderDropsThem) {
    // Two tables of killed runs are listed; a third name is taken between the listing and
    // the creation (another station's start).
    const QString create = QStringLiteral("CREATE TABLE TempFedelidade090000_3\n(MATRICULA NVARCHAR(10), )");
    WireSession wire(sessionRules(
        {}, {TdsRule::startingWith(QStringLiteral("SELECT name FROM sys.tables"))
                 .column(QStringLiteral("name"), QStringLiteral("nvarchar"), 128)
                 .row({QStringLiteral("TempFedelidade090000")})
                 .row({QStringLiteral("TempFedelidade090000_2")}),
             TdsRule::exactly(create).error(
                 QStringLiteral("There is already an object named 'TempFedelidade090000_3' in the database.")),
             TdsRule::startingWith(QStringLiteral("DECLARE @VelocastLock"))
                 .column(QStringLiteral("LockResult"), QStringLiteral("int"))
                 .row({0})}));
    wire.connection.open();
    ASSERT_TRUE(wire.session.databaseLock.take());
    ASSERT_TRUE(wire.session.ABRE_TABELAS());
    EXPECT_TRUE(wire.notices.shown.empty());
    EXPECT_EQ(wire.session.runTableName(), QStringLiteral("TempFedelidade090000_4"));
    const QStringList ours = wire.ours();
    EXPECT_TRUE(ours.contains(QStringLiteral("batch: ") + create));
    // The listing answers the same two names again: both are dropped, outside any transaction.
    for (const char* dropped : {"TempFedelidade090000", "TempFedelidade090000_2"}) {
        const QJsonObject drop = wire.peer.firstStatement(QStringLiteral("DROP TABLE ") + QLatin1String(dropped));
        ASSERT_FALSE(drop.isEmpty()) << dropped;
        EXPECT_EQ(drop.value(QStringLiteral("transaction")).toString(), QStringLiteral("0000000000000000"));
    }
    EXPECT_EQ(wire.session.leftOverRunTablesDropped(), 2);
    wire.session.teardown();
    EXPECT_TRUE(wire.ours().contains(QStringLiteral("batch: DROP TABLE TempFedelidade090000_4")));
}

// "Use Encryption for Data" reaches the server: the pre-login asks for encryption (the
// stand-in cannot encrypt, so the login must then be refused, never sent in clear).
TEST(SessionOnTheWire, EncryptionAskedForInTheDataLinkIsAskedOfTheServer) {
    for (const bool encrypt : {false, true}) {
        SCOPED_TRACE(encrypt ? "encrypted" : "as before");
        WireSession wire(sessionRules());
        if (encrypt) {
            writeDataLink(
                wire.peer.dataLinkPath(),
                QStringLiteral("Provider=SQLOLEDB.1;Password=segredo;User ID=velocast;Initial Catalog=KORVANA;"
                               "Use Encryption for Data=True;Data Source=127.0.0.1,%1")
                    .arg(wire.peer.port()));
        }
        bool opened = false;
        try {
            wire.connection.open();
            opened = true;
        } catch (const std::exception&) {}
        const QList<QJsonObject> requests = wire.peer.requests();
        ASSERT_FALSE(requests.isEmpty());
        EXPECT_EQ(requests.at(0).value(QStringLiteral("kind")).toString(), QStringLiteral("prelogin"));
        // Pre-login ENCRYPTION: 0 off, 1 on (required by the client).
        EXPECT_EQ(requests.at(0).value(QStringLiteral("encryption")).toInt() == 1, encrypt);
        EXPECT_EQ(opened, !encrypt);
        for (const QJsonObject& r : requests)
            EXPECT_NE(r.value(QStringLiteral("kind")).toString(), encrypt ? QStringLiteral("login") : QString());
    }
}

// Encryption that the data-link file asks for checks the server's certificate and its name
// against the system's authorities or [database] ca_file; only Trust Server Certificate=True
// skips the check. A refused certificate ends the connection before the login (and its
// password) is sent, and the error says what to change.
TEST(SessionOnTheWire, AnEncryptedConnectionChecksTheServersCertificateAndName) {
    using velocast::mail::testing::testCaPath;
    using velocast::mail::testing::TestCertificate;
    struct Case {
        const char* name;
        QStringList certificateNames;
        bool trustTestCa;  // [database] ca_file names the test authority
        const char* extra;
        bool opens;
    };
    const QStringList loopback{QStringLiteral("localhost"), QStringLiteral("127.0.0.1")};
    const Case cases[] = {
        {"issued by the authority named in ca_file", loopback, true, "", true},
        {"the system's authorities do not know the test authority", loopback, false, "", false},
        {"issued for another name", {QStringLiteral("other.test")}, true, "", false},
        {"Trust Server Certificate=True skips the check", loopback, false, "Trust Server Certificate=True;", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TestCertificate certificate(c.certificateNames);
        TestClock clock{QDateTime(QDate(2024, 5, 20), QTime(9, 0))};
        TdsPeer peer(sessionRules(), 0, {certificate.certificatePath(), certificate.keyPath()});
        writeDataLink(peer.dataLinkPath(),
                      QStringLiteral("Provider=MSOLEDBSQL;Password=segredo;User ID=velocast;Initial Catalog=KORVANA;"
                                     "Use Encryption for Data=True;%1Data Source=127.0.0.1,%2")
                          .arg(QLatin1String(c.extra))
                          .arg(peer.port()));
        setSqlServerCaFile(c.trustTestCa ? testCaPath() : QString());
        SharedConnection connection(peer.dataLinkPath(),
                                    QStringLiteral("tls-") + QUuid::createUuid().toString(QUuid::WithoutBraces));
        QString error;
        try {
            connection.open();
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        }
        setSqlServerCaFile(QString());
        EXPECT_EQ(error.isEmpty(), c.opens) << error.toStdString();
        QStringList kinds;
        for (const QJsonObject& r : peer.requests()) kinds << r.value(QStringLiteral("kind")).toString();
        if (c.opens) {
            ASSERT_GE(kinds.size(), 3);
            EXPECT_EQ(kinds.mid(0, 3),
                      (QStringList{QStringLiteral("prelogin"), QStringLiteral("tls"), QStringLiteral("login")}));
        } else {
            EXPECT_FALSE(kinds.contains(QStringLiteral("login"))) << kinds.join(u' ').toStdString();
            for (const char* named : {"certificate", "[database] ca_file", "Trust Server Certificate=True"})
                EXPECT_TRUE(error.contains(QLatin1String(named))) << error.toStdString();
        }
    }
}
