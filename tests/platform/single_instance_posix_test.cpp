// The guard's folder under the XDG rules, a socket file left by a crashed copy, and copies of
// the built program started together: POSIX systems only (the Wine test starts the Windows
// program twice).
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/single_instance.h"
#include "support/host_database.h"
#include "support/serve_until.h"
#include "support/velocast_process.h"

using namespace velocast;
using velocast::testing::HostDatabase;
using velocast::testing::serveUntil;

TEST(SingleInstanceFolder, AlwaysAFolderOfThisAccountsNeverASharedOne) {
    QTemporaryDir home, privateRuntime, sharedRuntime, service;
    ::chmod(QFile::encodeName(privateRuntime.path()).constData(), 0700);
    ::chmod(QFile::encodeName(sharedRuntime.path()).constData(), 0755);
    const struct {
        const char* what;
        QString runtime, state, expected;
    } cases[] = {
        {"the login session's runtime folder", privateRuntime.path(), QString(), privateRuntime.path()},
        {"a runtime folder others may enter", sharedRuntime.path(), QString(),
         home.filePath(QStringLiteral(".cache/velocast"))},
        {"no runtime folder, a service", QString(), service.path(), service.path()},
        {"no runtime folder, no service", QString(), QString(), home.filePath(QStringLiteral(".cache/velocast"))},
    };
    const QByteArray saved[] = {qgetenv("XDG_RUNTIME_DIR"), qgetenv("STATE_DIRECTORY"), qgetenv("XDG_CACHE_HOME"),
                                qgetenv("HOME")};
    qunsetenv("XDG_CACHE_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.runtime.isEmpty()) qunsetenv("XDG_RUNTIME_DIR");
        else qputenv("XDG_RUNTIME_DIR", QFile::encodeName(c.runtime));
        if (c.state.isEmpty()) qunsetenv("STATE_DIRECTORY");
        else qputenv("STATE_DIRECTORY", QFile::encodeName(c.state));
        QString error;
        EXPECT_EQ(guardFolder(&error), c.expected) << error.toStdString();
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(c.expected).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    const char* names[] = {"XDG_RUNTIME_DIR", "STATE_DIRECTORY", "XDG_CACHE_HOME", "HOME"};
    for (int i = 0; i < 4; ++i) {
        if (saved[i].isEmpty()) qunsetenv(names[i]);
        else qputenv(names[i], saved[i]);
    }
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

std::unique_ptr<QProcess> startHeadless(
    const QString& program, const QString& dataLink,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment);
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

    auto ended = [&] {
        return int(
            std::count_if(copies.begin(), copies.end(), [](auto& p) { return p->state() == QProcess::NotRunning; }));
    };
    ASSERT_TRUE(serveUntil([&] { return ended() >= 3; }, 60000)) << "copies started together all run";
    QProcess* survivor = nullptr;
    for (auto& p : copies) {
        if (p->state() != QProcess::NotRunning) {
            survivor = p.get();
            continue;
        }
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
        EXPECT_TRUE(p->readAllStandardError().contains("already running"));
    }
    ASSERT_NE(survivor, nullptr);

    // A copy through an executable of another file name is another program: it runs.
    QTemporaryDir folder;
    const QString renamed = folder.filePath(QStringLiteral("velocast-copy"));
    ASSERT_TRUE(QFile::copy(program, renamed));
    HostDatabase otherHost;
    otherHost.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1'"));
    const auto other =
        velocast::testing::runProgram(renamed, {QStringLiteral("--headless"), QStringLiteral("--once"),
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
    const auto test = velocast::testing::runBuiltProgram(
        QStringLiteral("velocast"), {QStringLiteral("--test-smtp"), QStringLiteral("ana@example.com"),
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
    EXPECT_EQ(result.err,
              QStringLiteral("velocast: no display was found (DISPLAY is not set); --headless runs without one\n"));

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
    ASSERT_TRUE(serveUntil(
        [&] { return QDir(folder.path()).entryList({QStringLiteral("velocast-*")}, QDir::System).size() > 0; }, 30000));
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(30000)) << "SIGTERM did not end the program";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
}

TEST(SingleCopy, WithoutARuntimeFolderTheGuardLivesInTheAccountsOwnFolderAndNamesTheRunningCopy) {
    // A service or a cron job: no login session, so no XDG_RUNTIME_DIR.
    HostDatabase host;
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1'"));
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_RUNTIME_DIR", "STATE_DIRECTORY", "XDG_CACHE_HOME"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("HOME"), home.path());
    const QString program = velocast::testing::builtProgramPath(QStringLiteral("velocast"));
    auto first = startHeadless(program, host.dataLinkPath(), environment);
    const QDir guards(home.filePath(QStringLiteral(".cache/velocast")));
    ASSERT_TRUE(
        serveUntil([&] { return !guards.entryList({QStringLiteral("velocast-*.pid")}, QDir::Files).isEmpty(); }, 30000))
        << first->readAllStandardError().toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(guards.path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const auto second = velocast::testing::runBuiltProgram(
        QStringLiteral("velocast"),
        {QStringLiteral("--headless"), QStringLiteral("--once"), QStringLiteral("--data-link"), host.dataLinkPath()},
        60000, environment);
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_EQ(second.err,
              QStringLiteral("velocast: another copy (process %1) is already running on this database; this one ends\n")
                  .arg(first->processId()));
    first->terminate();
    EXPECT_TRUE(first->waitForFinished(30000));
}
