// Several copies of the program on one club never send a message twice, wherever they run;
// copies on two clubs run side by side. The real program, as separate processes, against the
// demo's SMTP server, which stores every message it accepts.
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

#include "seed/seed_command.h"
#include "support/host_database.h"
#include "support/velocast_process.h"

using velocast::testing::HostDatabase;

namespace {

// tools/demo/mail_catcher.py on a free loopback port.
class MailCatcher {
public:
    MailCatcher() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port_ = probe.serverPort();
        probe.close();
        const QString script =
            qEnvironmentVariable("VELOCAST_SOURCE_DIR") + QStringLiteral("/tools/demo/mail_catcher.py");
        // Its line per message goes to a file: a pipe that nobody reads while the test waits
        // for the program would fill and stop the server.
        const QString log = folder_.filePath(QStringLiteral("catcher.log"));
        process_.setStandardOutputFile(log);
        process_.setStandardErrorFile(log, QIODevice::Append);
        process_.start(QStringLiteral("/usr/bin/python3"),
                       {script, folder_.path(), QStringLiteral("--port"), QString::number(port_)});
        QDeadlineTimer deadline(30000);
        QFile file(log);
        while (!ready_ && !deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
            process_.waitForFinished(20);  // a pause that ends early if the server fails
            ready_ = file.open(QIODevice::ReadOnly) && file.readAll().startsWith("ready");
            file.close();
        }
        if (!ready_) ADD_FAILURE() << "the mail catcher did not start on port " << port_;
    }
    ~MailCatcher() {
        process_.terminate();
        process_.waitForFinished(10000);
    }
    quint16 port() const { return port_; }

    // How many times each recipient got each subject.
    QMap<QString, int> received() {
        QMap<QString, int> counts;
        for (const QString& name : QDir(folder_.path()).entryList({QStringLiteral("*.eml")}, QDir::Files)) {
            QFile file(QDir(folder_.path()).filePath(name));
            if (!file.open(QIODevice::ReadOnly)) continue;
            QString to, subject;
            for (QByteArray line = file.readLine(); !line.isEmpty() && line != "\r\n" && line != "\n";
                 line = file.readLine()) {
                if (line.startsWith("To:")) to = QString::fromLatin1(line.mid(3)).trimmed();
                if (line.startsWith("Subject:")) subject = QString::fromLatin1(line.mid(8)).trimmed();
            }
            ++counts[to + QStringLiteral(" | ") + subject];
        }
        return counts;
    }

private:
    QTemporaryDir folder_;
    QProcess process_;
    quint16 port_ = 0;
    bool ready_ = false;
};

// The environment of a copy run by its own account: a runtime folder of its own.
QProcessEnvironment accountEnvironment(const QString& runtimeFolder) {
    ::chmod(QFile::encodeName(runtimeFolder).constData(), 0700);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
    // Two accounts keep two state databases; one shared by both would be a test artefact.
    environment.insert(QStringLiteral("XDG_STATE_HOME"), runtimeFolder + QStringLiteral("/state"));
    return environment;
}

std::unique_ptr<QProcess> startOnce(const QString& dataLink, const QProcessEnvironment& environment) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
    process->start(velocast::testing::builtProgramPath(QStringLiteral("velocast")),
                   {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), dataLink});
    return process;
}

// The demo club of today with `members` members, campaigns due, and `extra` more rows already
// waiting in the outbox, sending to `port`; its data-link file.
QString demoClub(const QString& folder, int members, int extra, quint16 port) {
    const QString path = QDir(folder).filePath(QStringLiteral("club.sqlite"));
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    const int status = velocast::seed::runSeedCommand(
        {QStringLiteral("--members"), QString::number(members), QStringLiteral("--seed"), QStringLiteral("23"), path},
        out, err);
    if (status != 0) ADD_FAILURE() << errText.toStdString();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), folder);
    {
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*%1'").arg(port));
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO Velocast (Email, Assunto, Texto) VALUES (?, 'Aviso', 'Bom treino!')"));
        for (int i = 0; i < extra; ++i) {
            q.addBindValue(QStringLiteral("fila%1@example.com").arg(i));
            q.exec();
        }
        db.commit();
        db.close();
    }
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(folder);
    return path + QStringLiteral(".udl");
}

}  // namespace

TEST(Copies, TwoCopiesOfTwoAccountsStartedTogetherOnOneClubSendEveryMessageOnce) {
    // What one copy alone sends from this club is the measure.
    MailCatcher alone;
    QTemporaryDir referenceClub, referenceRuntime;
    const auto reference =
        startOnce(demoClub(referenceClub.path(), 300, 1000, alone.port()), accountEnvironment(referenceRuntime.path()));
    ASSERT_TRUE(reference->waitForFinished(300000));
    ASSERT_EQ(reference->exitCode(), 0) << reference->readAllStandardError().toStdString();
    const QMap<QString, int> expected = alone.received();
    ASSERT_GT(expected.size(), 1000);

    // The same club, two copies as two users would start them: the guard cannot see the
    // other, only the database lock keeps them apart.
    MailCatcher both;
    QTemporaryDir club, runtimeA, runtimeB;
    const QString dataLink = demoClub(club.path(), 300, 1000, both.port());
    const auto a = startOnce(dataLink, accountEnvironment(runtimeA.path()));
    const auto b = startOnce(dataLink, accountEnvironment(runtimeB.path()));
    ASSERT_TRUE(a->waitForFinished(300000));
    ASSERT_TRUE(b->waitForFinished(300000));
    const QString errA = QString::fromUtf8(a->readAllStandardError()),
                  errB = QString::fromUtf8(b->readAllStandardError());
    EXPECT_EQ(a->exitCode(), 0) << errA.toStdString();
    EXPECT_EQ(b->exitCode(), 0) << errB.toStdString();

    const QMap<QString, int> got = both.received();
    int duplicates = 0, missing = 0;
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        duplicates += std::max(0, got.value(it.key()) - it.value());
        missing += std::max(0, it.value() - got.value(it.key()));
    }
    EXPECT_EQ(duplicates, 0);
    EXPECT_EQ(missing, 0);
    EXPECT_EQ(got.size(), expected.size());
    // Whichever came second stood aside and said who works, unless the first had already ended.
    const QString aside = QStringLiteral("another Velocast is working on this database: ");
    if (errA.contains(aside) || errB.contains(aside)) {
        EXPECT_NE(errA.contains(aside), errB.contains(aside));
    }
}

TEST(Copies, TwoClubsUnderOneAccountRunSideBySide) {
    MailCatcher catcher;
    QTemporaryDir runtime;
    const QProcessEnvironment environment = accountEnvironment(runtime.path());
    HostDatabase clubs[2];
    for (int c = 0; c < 2; ++c) {
        clubs[c].exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*%1'").arg(catcher.port()));
        for (int i = 0; i < 5; ++i)
            clubs[c].insert(QStringLiteral("Velocast"),
                            {{QStringLiteral("Email"), QStringLiteral("clube%1-membro%2@example.com").arg(c).arg(i)},
                             {QStringLiteral("Assunto"), QStringLiteral("Olá")},
                             {QStringLiteral("Texto"), QStringLiteral("Bom treino!")}});
    }
    const auto first = startOnce(clubs[0].dataLinkPath(), environment);
    const auto second = startOnce(clubs[1].dataLinkPath(), environment);
    for (QProcess* p : {first.get(), second.get()}) {
        ASSERT_TRUE(p->waitForFinished(120000));
        const QString err = QString::fromUtf8(p->readAllStandardError());
        EXPECT_EQ(p->exitCode(), 0) << err.toStdString();
        EXPECT_FALSE(err.contains(QLatin1String("already running"))) << err.toStdString();
    }
    for (HostDatabase& club : clubs) EXPECT_EQ(club.count(QStringLiteral("Velocast")), 0);
    EXPECT_EQ(catcher.received().size(), 10);
}
