// An outage made by renaming the open database file, and the road through unixODBC's SQLite
// driver: POSIX systems only. Windows refuses to rename an open file, and under Wine the
// Linux ODBC driver would be handed a Windows path.
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

TEST(SessionOverOdbc, OpensThroughQtsOdbcDriver) {
    HostDatabase host;
    host.exec(QStringLiteral("INSERT INTO Caixa (DATAABERTURA) VALUES ('2025-02-01 00:00:00')"));
    const QString udl = host.folder() + QStringLiteral("/odbc.udl");
    velocast::testing::writeDataLink(
        udl, QStringLiteral("Provider=MSDASQL.1;Extended Properties=\"DRIVER=SQLite3;Database=") + host.path() +
                 QStringLiteral("\""));
    SharedConnection connection(udl, QStringLiteral("odbc-session"));
    connection.open();
    RecordingNotices notices;
    Session session(connection, notices);
    ASSERT_TRUE(session.ABRE_TABELAS()) << (notices.shown.empty() ? "" : notices.shown[0].detail.toStdString());
    EXPECT_EQ(session.businessDate().format(QStringLiteral("DD/MM/YYYY")), QStringLiteral("01/02/2025"));
    EXPECT_TRUE(host.tableExists(session.runTableName()));
    session.teardown();
    EXPECT_FALSE(host.tableExists(session.runTableName()));
}

// Counts what the watchdog tells.
struct WatchdogEvents {
    int outages = 0, reconnects = 0;
    explicit WatchdogEvents(Watchdog& watchdog) {
        QObject::connect(&watchdog, &Watchdog::outage, [this] { ++outages; });
        QObject::connect(&watchdog, &Watchdog::reconnected, [this] { ++reconnects; });
    }
};

TEST_F(SessionFixture, WatchdogReconnectsAfterAnOutageAndSaysSo) {
    ASSERT_TRUE(session.ABRE_TABELAS());
    Watchdog watchdog(session, notices);
    WatchdogEvents events(watchdog);

    // The settings table answers: nothing happens, and a change made by others is seen.
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET MARKETING_MEDICA = 'Sim'"));
    watchdog.checkConnection();
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_EQ(events.outages, 0);
    EXPECT_EQ(session.TBLCONTROLE2.text(QStringLiteral("MARKETING_MEDICA")), QStringLiteral("Sim"));

    // The database goes away: the table no longer answers and reconnecting fails twice.
    const QString hidden = host.path() + QStringLiteral(".away");
    host.exec(QStringLiteral("ALTER TABLE Qzcvar2 RENAME TO Qzcvar2Away"));
    ASSERT_TRUE(QFile::rename(host.path(), hidden));
    notices.whileOpen = [&](const RecordingNotices::Shown&) {
        // The outage is told before the first notice, so the timers are still by then.
        EXPECT_EQ(events.outages, 1);
        EXPECT_EQ(events.reconnects, 0);
        if (notices.shown.size() == 3) {  // the watchdog's notice and two failed passes
            QFile::rename(hidden, host.path());
            host.exec(QStringLiteral("ALTER TABLE Qzcvar2Away RENAME TO Qzcvar2"));
        }
    };
    watchdog.checkConnection();
    ASSERT_EQ(notices.shown.size(), 3u);
    for (const auto& n : notices.shown) {
        EXPECT_EQ(n.text, kContateSuporte);
        EXPECT_EQ(
            n.detail,
            QStringLiteral("Problema no Banco de Dados ou não está Ativo !\n\rProblema na Rede ou não está Ativa !"));
    }
    EXPECT_EQ(events.reconnects, 1);
    EXPECT_TRUE(connection.isOpen());
    // The next check opens the settings table again.
    notices.whileOpen = nullptr;
    watchdog.checkConnection();
    EXPECT_EQ(events.outages, 1);
    EXPECT_EQ(events.reconnects, 1);
    EXPECT_TRUE(session.TBLCONTROLE2.isOpen());
    EXPECT_EQ(notices.shown.size(), 3u);
}

TEST_F(SessionFixture, AQuitRequestDuringAnOutageEndsTheReconnectLoop) {
    ASSERT_TRUE(session.ABRE_TABELAS());
    Watchdog watchdog(session, notices);
    WatchdogEvents events(watchdog);
    watchdog.pauseBetweenPasses = std::chrono::milliseconds(10);

    const QString hidden = host.path() + QStringLiteral(".away");
    host.exec(QStringLiteral("ALTER TABLE Qzcvar2 RENAME TO Qzcvar2Away"));
    ASSERT_TRUE(QFile::rename(host.path(), hidden));
    notices.whileOpen = [&](const RecordingNotices::Shown&) {
        if (notices.shown.size() == 2) QCoreApplication::quit();  // SIGTERM or "Finalizar"
        if (notices.shown.size() == 100) {                        // a loop that ignores the request: let it out
            QFile::rename(hidden, host.path());
            ADD_FAILURE() << "the reconnect loop went on after the quit request";
        }
    };
    bool tickReturned = false;
    QTimer::singleShot(0, [&] {
        watchdog.checkConnection();
        tickReturned = true;
    });
    QCoreApplication::exec();  // returns only once the tick let go

    EXPECT_TRUE(tickReturned);
    EXPECT_EQ(notices.shown.size(), 2u);
    EXPECT_EQ(events.outages, 1);
    EXPECT_EQ(events.reconnects, 0) << "the timers would run again";
    QFile::rename(hidden, host.path());
}

TEST_F(SessionFixture, HeadlessReconnectLoopEndsWhenTheProgramIsAskedToEnd) {
    ASSERT_TRUE(session.ABRE_TABELAS());
    Watchdog watchdog(session, notices);
    WatchdogEvents events(watchdog);
    watchdog.pauseBetweenPasses = std::chrono::hours(1);
    ASSERT_TRUE(QFile::rename(host.path(), host.path() + QStringLiteral(".away")));
    // The end request arrives while the database is away, as SIGTERM would.
    notices.whileOpen = [&](const RecordingNotices::Shown&) {
        if (notices.shown.size() == 1) QCoreApplication::quit();
        if (notices.shown.size() > 5) throw std::runtime_error("the reconnect loop goes on after the end request");
    };
    bool returned = false;
    QString escaped;
    // Inside the application's loop, so that the end request ends only this test's loop.
    QTimer::singleShot(0, [&] {
        try {
            watchdog.ReSetBanco();
            returned = true;
        } catch (const std::exception& e) {
            escaped = QString::fromUtf8(e.what());
            QCoreApplication::quit();
        }
    });
    QCoreApplication::exec();
    EXPECT_TRUE(returned) << escaped.toStdString();
    EXPECT_EQ(notices.shown.size(), 1u);
    EXPECT_EQ(events.reconnects, 0) << "the timers would run again";
}
