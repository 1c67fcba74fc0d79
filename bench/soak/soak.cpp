// The resident headless program for a long time, in short: the same composition as
// `velocast --headless` (the program's daily run, send tick, watchdog and reconnect loop) on a
// SQLite club, with the intervals shortened so that thousands of drains, database outages
// and SMTP outages pass in minutes. Prints the process's resident memory, open descriptors
// and open connections after the warm-up, in the middle and at the end, then what was lost
// or sent twice.
//
//   bench_soak DATA_LINK MAIL_CATCHER_SCRIPT WORK_FOLDER DRAINS DB_OUTAGES SMTP_OUTAGES
//   bench_soak --tds MAIL_CATCHER_SCRIPT WORK_FOLDER DRAINS DB_OUTAGES SMTP_OUTAGES
//
// SQLite: every drain, one row is added to the outbox (a fresh address). A database outage
// moves the database file away and drops the connection, as a lost server would; the
// watchdog notices, the reconnect loop fails while the file is away, and the file comes back
// after a few passes. An SMTP outage stops the mail server for a few drains.
// --tds: the club on the stand-in SQL Server of the tests (tests/support/tds_peer.py), with an
// empty outbox: every drain asks the server, and an outage kills the stand-in and starts it
// again on the same port (the database lock is taken again on the new connection).
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>

#include <memory>

#include "data/data_link.h"
#include "notices/notices.h"
#include "shell/program.h"
#ifdef VELOCAST_SOAK_TDS
#include "support/tds_peer.h"
#endif

using namespace velocast;

namespace {

struct Figures {
    long rssKb = 0;
    int descriptors = 0;
    int sockets = 0;
    int databaseConnections = 0;
};

Figures measure() {
    Figures f;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:")) f.rssKb = line.mid(6).trimmed().split(' ').first().toLong();
    for (const QFileInfo& fd :
         QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        ++f.descriptors;
        if (fd.symLinkTarget().contains(QLatin1String("socket:")) ||
            QFile::symLinkTarget(fd.filePath()).startsWith(QLatin1String("socket:")))
            ++f.sockets;
    }
    for (const QString& name : QSqlDatabase::connectionNames())
        if (QSqlDatabase::database(name, false).isOpen()) ++f.databaseConnections;
    return f;
}

void print(const char* at, int drains, const Figures& f) {
    std::printf("soak: at=%-6s drains=%-6d rss_kb=%-7ld fds=%-4d sockets=%-3d db_connections=%d\n", at, drains, f.rssKb,
                f.descriptors, f.sockets, f.databaseConnections);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 7) {
        std::fprintf(stderr,
                     "usage: bench_soak DATA_LINK MAIL_CATCHER_SCRIPT WORK_FOLDER DRAINS DB_OUTAGES SMTP_OUTAGES\n");
        return 2;
    }
    QString dataLink = args[1];
    const QString catcherScript = args[2], work = args[3];
    const int drains = args[4].toInt(), dbOutages = args[5].toInt();
    const bool tds = dataLink == QLatin1String("--tds");
    const int smtpOutages = tds ? 0 : args[6].toInt();
#ifdef VELOCAST_SOAK_TDS
    using velocast::testing::TdsRule;
    std::unique_ptr<velocast::testing::TdsPeer> peer;
    if (tds) {
        peer = std::make_unique<velocast::testing::TdsPeer>(QList<TdsRule>{
            TdsRule::startingWith(QStringLiteral("DECLARE @VelocastLock"))
                .column(QStringLiteral("LockResult"), QStringLiteral("int"))
                .row({0}),
            TdsRule::startingWith(QStringLiteral("SELECT name FROM sys.tables"))
                .column(QStringLiteral("name"), QStringLiteral("nvarchar"), 128),
            TdsRule::rowsOf(QStringLiteral("TempFedelidade090000"), QStringLiteral("SELECT * FROM TempFedelidade")),
            TdsRule::table(QStringLiteral("Qzcvar"), {QVariantMap()}),
            TdsRule::table(QStringLiteral("Qzcvar2"),
                           {QVariantMap{{QStringLiteral("STMP_PROVEDOR"), QStringLiteral("127.0.0.1*1")}}}),
            TdsRule::exactly(QStringLiteral("SELECT ID FROM Velocast"))
                .column(QStringLiteral("ID"), QStringLiteral("int")),
            TdsRule::table(QStringLiteral("Velocast")),
            TdsRule::table(QStringLiteral("Caixa"),
                           {QVariantMap{{QStringLiteral("DATAABERTURA"), QStringLiteral("2024-05-20 08:15:00")}}}),
            TdsRule::table(QStringLiteral("AlunosAtivos")),
        });
        dataLink = peer->dataLinkPath();
    }
#else
    if (tds) {
        std::fprintf(stderr, "bench_soak: built without the tests' stand-in SQL Server (VELOCAST_BUILD_TESTS=OFF)\n");
        return 2;
    }
#endif
    const QString database = tds ? QString() : readDataLink(dataLink).databaseName;

    // The mail server, restarted on the same port after each outage; each run stores into a
    // folder of its own (its file numbers start again).
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    QProcess catcher;
    catcher.setStandardOutputFile(QProcess::nullDevice());
    int catcherRuns = 0;
    auto startCatcher = [&] {
        catcher.start(QStringLiteral("/usr/bin/python3"),
                      {catcherScript, QDir(work).filePath(QStringLiteral("mail/%1").arg(++catcherRuns)),
                       QStringLiteral("--port"), QString::number(port)});
        catcher.waitForStarted();
        // Until it listens: a drain before would only find it away, which is not what this
        // start is for.
        for (int i = 0; i < 400; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            if (socket.waitForConnected(50)) return;
            catcher.waitForFinished(20);
        }
    };
    if (!tds) startCatcher();

    QSqlDatabase feeder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("soak-feeder"));
    feeder.setDatabaseName(database);
    auto execute = [&](const QString& sql) {
        if (tds) return 0;
        if (!feeder.isOpen()) feeder.open();
        QSqlQuery q(feeder);
        q.exec(sql);
        return q.next() ? q.value(0).toInt() : 0;
    };
    execute(QStringLiteral(
                "UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*%1', USERNAME = NULL, IdSMTP_UseTLS = 'utNoTLSSupport'")
                .arg(port));

    StderrNotices notices;
    Program program(dataLink, notices);
    // The watchdog ticks five times per send tick, as 1 s and 5 s do: after a reconnect it
    // reopens the settings before the next drain reads them.
    program.setIntervals({.sendTick = std::chrono::milliseconds(20),
                          .watchdog = std::chrono::milliseconds(4),
                          .reconnectPause = std::chrono::milliseconds(20)});
    program.build();
    program.FormCreate();

    const int warmUp = std::max(20, drains / 20);
    const int dbEvery = dbOutages > 0 ? std::max(1, drains / dbOutages) : 0;
    const int smtpEvery = smtpOutages > 0 ? std::max(1, drains / smtpOutages) : 0;
    int ticks = 0, added = 0, dbDone = 0, smtpDone = 0, smtpBackAt = -1;
    bool databaseAway = false;
    const QString away = database + QStringLiteral(".away");

    // After each tick (the drain has ended): feed, measure, and make the next outage.
    QObject::connect(&program.sender(), &OutboxSender::tickEnded, &app, [&] {
        ++ticks;
        if (ticks <= drains && !databaseAway && !tds) {
            execute(
                QStringLiteral(
                    "INSERT INTO Velocast (Email, Assunto, Texto) VALUES ('soak%1@example.com', 'Soak', 'Bom treino!')")
                    .arg(++added));
        }
        if (ticks == warmUp) print("start", ticks, measure());
        if (ticks == drains / 2) print("middle", ticks, measure());
        if (ticks == smtpBackAt) startCatcher();
        if (ticks < drains && smtpEvery && ticks % smtpEvery == smtpEvery / 2 && smtpDone < smtpOutages &&
            smtpBackAt < ticks) {
            ++smtpDone;
            catcher.kill();
            catcher.waitForFinished();
            smtpBackAt = ticks + 3;
        }
        if (ticks < drains && dbEvery && ticks % dbEvery == 0 && dbDone < dbOutages) {
            ++dbDone;
            databaseAway = true;
#ifdef VELOCAST_SOAK_TDS
            if (tds) {
                peer->stop();
                QTimer::singleShot(70, &app, [&] {
                    peer->start();
                    databaseAway = false;
                });
            }
#endif
            if (!tds) {
                feeder.close();
                QFile::rename(database, away);
                program.connection().close();  // what a lost server does to the connection
                // Back after a few failed passes of the reconnect loop.
                QTimer::singleShot(70, &app, [&] {
                    QFile::rename(away, database);
                    databaseAway = false;
                });
            }
            // The watchdog's tick finds it first (a drain that met the outage would end the
            // program, as it must); it returns once the reconnect loop got the file back.
            program.watchdog().checkConnection();
        }
        if (ticks >= drains && !databaseAway && (tds || catcher.state() == QProcess::Running)) {
            if (execute(QStringLiteral("SELECT COUNT(*) FROM Velocast")) == 0 || ticks > drains * 2) {
                print("end", ticks, measure());
                QCoreApplication::exit(0);
            }
        } else if (ticks >= drains && catcher.state() != QProcess::Running) {
            startCatcher();
        }
    });
    app.exec();
    program.FormDestroy();
    catcher.terminate();
    catcher.waitForFinished();
    if (tds) {
        std::printf("soak: drains=%d tds_outages=%d reconnect_passes=%d\n", ticks, dbDone,
                    program.watchdog().reconnectPasses());
        return 0;
    }

    // Every message each run of the server stored, by recipient.
    QHash<QString, int> received;
    int messages = 0;
    for (QDirIterator it(QDir(work).filePath(QStringLiteral("mail")), {QStringLiteral("*.eml")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly)) continue;
        ++messages;
        for (QByteArray line = file.readLine(); !line.isEmpty() && line.trimmed().size() > 0; line = file.readLine())
            if (line.startsWith("To:")) ++received[QString::fromLatin1(line.mid(3)).trimmed()];
    }
    int lost = 0, duplicates = 0;
    for (int i = 1; i <= added; ++i)
        if (!received.contains(QStringLiteral("soak%1@example.com").arg(i))) ++lost;
    // Only the rows added here have one row per address; a demo member may get two campaigns.
    for (auto it = received.begin(); it != received.end(); ++it)
        if (it.key().startsWith(QLatin1String("soak"))) duplicates += it.value() - 1;
    const int left = execute(QStringLiteral("SELECT COUNT(*) FROM Velocast"));
    std::printf(
        "soak: drains=%d db_outages=%d reconnect_passes=%d smtp_outages=%d rows_added=%d messages=%d lost=%d "
        "duplicates=%d left_in_outbox=%d\n",
        ticks, dbDone, program.watchdog().reconnectPasses(), smtpDone, added, messages, lost - left, duplicates, left);
    return 0;
}
