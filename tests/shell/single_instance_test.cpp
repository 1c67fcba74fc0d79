#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "shell/single_instance.h"
#include "support/host_database.h"
#include "support/velocast_process.h"

using namespace velocast;
using velocast::testing::HostDatabase;

namespace {

// Serves events until `done` holds; false after `ms` (the test then fails on its own check).
bool serveUntil(const std::function<bool()>& done, int ms = 10000) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace

TEST(SingleInstanceName, FollowsTheExecutablesFileNameUserAndDesktop) {
    const struct {
        const char* path;
        const char* identity;
    } identities[] = {
        {"/usr/bin/velocast", "velocast"},
        {"/opt/club/VELOCAST.EXE", "Velocast"},
        {"/opt/club/Velocast.bin.old", "Velocast"},
        {"/tmp/velocast-copy", "velocast-copy"},
    };
    for (const auto& c : identities) EXPECT_EQ(programIdentity(QLatin1String(c.path)), QLatin1String(c.identity)) << c.path;

    EXPECT_EQ(instanceName(QStringLiteral("velocast"), QStringLiteral("u1000"), QStringLiteral(":0")), QStringLiteral("velocast-u1000-_0"));
    EXPECT_EQ(instanceName(QStringLiteral("velocast"), QStringLiteral("u1000"), QString()), QStringLiteral("velocast-u1000"));
    EXPECT_EQ(instanceName(QStringLiteral("velocast"), QStringLiteral("u1000"), QStringLiteral("host/x:1")), QStringLiteral("velocast-u1000-host_x_1"));

    const QByteArray saved = qgetenv("DISPLAY"), savedWayland = qgetenv("WAYLAND_DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    for (const auto& [display, desktop] : {std::pair{":0.0", ":0"}, {":0", ":0"}, {"host.example:10.1", "host.example:10"}}) {
        qputenv("DISPLAY", display);
        EXPECT_EQ(currentDisplay(), QLatin1String(desktop)) << display;
    }
    qputenv("DISPLAY", saved);
    if (!savedWayland.isEmpty()) qputenv("WAYLAND_DISPLAY", savedWayland);
}

TEST(SingleInstance, ASecondHolderOfTheNameAsksTheFirstToComeForward) {
    QTemporaryDir folder;
    SingleInstance first(QStringLiteral("velocast-test"), folder.path());
    QString error;
    ASSERT_EQ(first.acquire(&error), SingleInstance::Outcome::First) << error.toStdString();
    int raised = 0;
    QObject::connect(&first, &SingleInstance::raiseRequested, [&] { ++raised; });

    SingleInstance second(QStringLiteral("velocast-test"), folder.path());
    EXPECT_EQ(second.acquire(&error), SingleInstance::Outcome::AnotherRuns);
    EXPECT_TRUE(serveUntil([&] { return raised == 1; }));

    // Another program name is another program.
    SingleInstance other(QStringLiteral("velocast2-test"), folder.path());
    EXPECT_EQ(other.acquire(&error), SingleInstance::Outcome::First);

    // Given up at the end, the name is free for the next start.
    first.release();
    SingleInstance next(QStringLiteral("velocast-test"), folder.path());
    EXPECT_EQ(next.acquire(&error), SingleInstance::Outcome::First) << error.toStdString();
}

TEST(SingleInstance, ANameLeftBehindByACrashDoesNotBlockTheNextStart) {
    QTemporaryDir folder;
    SingleInstance guard(QStringLiteral("velocast-test"), folder.path());
    // What a crashed copy leaves: the socket file, bound, with nobody listening on it.
    const QByteArray path = QFile::encodeName(guard.serverPath());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), int(sizeof(address.sun_path)));
    std::memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(guard.serverPath()));

    QString error;
    EXPECT_EQ(guard.acquire(&error), SingleInstance::Outcome::First) << error.toStdString();
}

namespace {

std::unique_ptr<QProcess> startHeadless(const QString& program, const QString& dataLink) {
    auto process = std::make_unique<QProcess>();
    process->start(program, {QStringLiteral("--headless"), QStringLiteral("--data-link"), dataLink});
    return process;
}

}  // namespace

TEST(SingleCopy, OfCopiesStartedTogetherExactlyOneRunsAndTheOthersEndAtOnce) {
    HostDatabase host;
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1'"));
    const QString program = velocast::testing::builtProgramPath(QStringLiteral("velocast"));
    std::vector<std::unique_ptr<QProcess>> copies;
    for (int i = 0; i < 4; ++i) copies.push_back(startHeadless(program, host.dataLinkPath()));

    auto ended = [&] { return int(std::count_if(copies.begin(), copies.end(), [](auto& p) { return p->state() == QProcess::NotRunning; })); };
    ASSERT_TRUE(serveUntil([&] { return ended() >= 3; }, 60000)) << "copies started together all run";
    QProcess* survivor = nullptr;
    for (auto& p : copies) {
        if (p->state() != QProcess::NotRunning) {
            survivor = p.get();
            continue;
        }
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
        EXPECT_TRUE(p->readAllStandardError().contains("already running")) ;
    }
    ASSERT_NE(survivor, nullptr);

    // A copy through an executable of another file name is another program: it runs.
    QTemporaryDir folder;
    const QString renamed = folder.filePath(QStringLiteral("velocast-copy"));
    ASSERT_TRUE(QFile::copy(program, renamed));
    HostDatabase otherHost;
    otherHost.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1'"));
    const auto other = velocast::testing::runProgram(renamed, {QStringLiteral("--headless"), QStringLiteral("--once"),
                                                               QStringLiteral("--data-link"), otherHost.dataLinkPath()});
    EXPECT_EQ(other.exitCode, 0) << other.err.toStdString();
    EXPECT_FALSE(other.err.contains(QLatin1String("already running")));

    // SIGTERM ends the survivor at once, with the teardown done.
    survivor->terminate();
    ASSERT_TRUE(survivor->waitForFinished(30000));
    EXPECT_EQ(survivor->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(survivor->exitCode(), 0) << survivor->readAllStandardError().toStdString();
    EXPECT_EQ(host.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 0);
}

TEST(SingleCopy, TheSmtpTestNeedsNoGuard) {
    HostDatabase host;
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1'"));
    const QString program = velocast::testing::builtProgramPath(QStringLiteral("velocast"));
    auto running = startHeadless(program, host.dataLinkPath());
    ASSERT_TRUE(running->waitForStarted());
    const auto test = velocast::testing::runBuiltProgram(QStringLiteral("velocast"), {QStringLiteral("--test-smtp"), QStringLiteral("ana@example.com"),
                                                                                      QStringLiteral("--data-link"), host.dataLinkPath()});
    EXPECT_FALSE(test.err.contains(QLatin1String("already running"))) << test.err.toStdString();
    running->terminate();
    EXPECT_TRUE(running->waitForFinished(30000));
}

TEST(DesktopStart, WithoutADisplayItSaysSoInOneLineAndEndsWithStatus2) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(QLatin1String(name));
    const auto result = velocast::testing::runBuiltProgram(QStringLiteral("velocast"), {}, 60000, environment);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, QStringLiteral("velocast: no display was found (DISPLAY is not set); --headless runs without one\n"));

    const auto version = velocast::testing::runBuiltProgram(QStringLiteral("velocast"), {QStringLiteral("--version")});
    EXPECT_EQ(version.out, QStringLiteral("velocast 2.10\n"));
}

TEST(DesktopStart, SigtermEndsTheProgramWhileANoticeWaitsForAPerson) {
    // A data-link file that does not exist: the window program shows the error in a modal box
    // and waits there for a person who never comes.
    QTemporaryDir folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.path());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(velocast::testing::builtProgramPath(QStringLiteral("velocast")),
                  {QStringLiteral("--data-link"), folder.filePath(QStringLiteral("nowhere.udl"))});
    // The guard's name appears once the program runs.
    ASSERT_TRUE(serveUntil([&] { return QDir(folder.path()).entryList({QStringLiteral("velocast-*")}, QDir::System).size() > 0; }, 30000));
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(30000)) << "SIGTERM did not end the program";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
}
