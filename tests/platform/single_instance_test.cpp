#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <future>
#include <gtest/gtest.h>

#include "data/club_identity.h"
#include "platform/single_instance.h"
#include "support/host_database.h"
#include "support/serve_until.h"

using namespace velocast;
using velocast::testing::HostDatabase;
using velocast::testing::serveUntil;

TEST(SingleInstanceName, FollowsTheExecutablesFileNameAndTheDatabase) {
    const struct {
        const char* path;
        const char* identity;
    } identities[] = {
        {"/usr/bin/velocast", "velocast"},
        {"/opt/club/VELOCAST.EXE", "Velocast"},
        {"/opt/club/Velocast.bin.old", "Velocast"},
        {"/tmp/velocast-copy", "velocast-copy"},
    };
    for (const auto& c : identities)
        EXPECT_EQ(programIdentity(QLatin1String(c.path)), QLatin1String(c.identity)) << c.path;

    // One name per program and database, whoever and wherever starts it; short enough for a
    // socket however long the database's path.
    const QString club = instanceName(QStringLiteral("velocast"), QStringLiteral("sqlite:/srv/clube/club.sqlite"));
    EXPECT_EQ(club, instanceName(QStringLiteral("velocast"), QStringLiteral("sqlite:/srv/clube/club.sqlite")));
    EXPECT_NE(club, instanceName(QStringLiteral("velocast"), QStringLiteral("sqlite:/srv/outro/club.sqlite")));
    EXPECT_NE(club, instanceName(QStringLiteral("velocast-copy"), QStringLiteral("sqlite:/srv/clube/club.sqlite")));
    EXPECT_TRUE(club.startsWith(QStringLiteral("velocast-")));
    EXPECT_LE(
        instanceName(QStringLiteral("velocast"), QStringLiteral("sqlite:/") + QString(500, QLatin1Char('x'))).size(),
        40);
    EXPECT_EQ(instanceName(QStringLiteral("velo cast/1"), QStringLiteral("x")).left(12),
              QStringLiteral("velo_cast_1-"));

    // Two spellings of one data link are one database; a file that cannot be read stands for
    // itself (the run reports it as before).
    QTemporaryDir folder;
    HostDatabase host;
    const QString twin = folder.filePath(QStringLiteral("twin.udl"));
    velocast::testing::writeDataLink(twin, QStringLiteral("Provider=SQLite;Data Source=") + host.path());
    EXPECT_EQ(clubIdentity(twin).text, clubIdentity(host.dataLinkPath()).text);
    EXPECT_EQ(clubIdentity(folder.filePath(QStringLiteral("missing.udl"))).text,
              QStringLiteral("udl:") + folder.filePath(QStringLiteral("missing.udl")));
}

TEST(SingleInstance, ASecondHolderOfTheNameAsksTheFirstToComeForward) {
    QTemporaryDir folder;
    SingleInstance first(QStringLiteral("velocast-test"), folder.path());
    QString error;
    ASSERT_EQ(first.acquire(&error), SingleInstance::Outcome::First) << error.toStdString();
    EXPECT_EQ(SingleInstance(QStringLiteral("velocast-test"), folder.path()).runningProcessId(),
              QCoreApplication::applicationPid());
    int raised = 0;
    QObject::connect(&first, &SingleInstance::raiseRequested, [&] { ++raised; });

    // The second copy asks while the first one serves its events, as two programs would: on
    // Windows a pipe's write waits for its reader.
    SingleInstance second(QStringLiteral("velocast-test"), folder.path());
    auto outcome = std::async(std::launch::async, [&] {
        QString secondError;
        return second.acquire(&secondError);
    });
    EXPECT_TRUE(serveUntil([&] { return raised == 1; }));
    EXPECT_EQ(outcome.get(), SingleInstance::Outcome::AnotherRuns);

    // Another program name is another program.
    SingleInstance other(QStringLiteral("velocast2-test"), folder.path());
    EXPECT_EQ(other.acquire(&error), SingleInstance::Outcome::First);

    // Given up at the end, the name is free for the next start.
    first.release();
    SingleInstance next(QStringLiteral("velocast-test"), folder.path());
    EXPECT_EQ(next.acquire(&error), SingleInstance::Outcome::First) << error.toStdString();
}
