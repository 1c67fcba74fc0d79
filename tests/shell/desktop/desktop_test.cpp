#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include "desktop_fixture.h"
#include "support/velocast_process.h"
#include "x_desktop.h"

namespace velocast::testing {

namespace {

QString onlyWindow() {
    const QStringList ids = windowsNamed(kWindowTitle, false);
    return ids.size() == 1 ? ids.first() : QString();
}

bool windowViewable() {
    const QString id = onlyWindow();
    return !id.isEmpty() && windowState(id).viewable;
}

QPoint firstIcon() {
    const QList<QRect> icons = trayIcons(QStringLiteral("velocast"));
    return icons.isEmpty() ? QPoint() : icons.first().center();
}

std::optional<QRect> openMenu() {
    click(firstIcon(), 3);
    std::optional<QRect> menu;
    serveUntil([&] { return bool(menu = popupMenu(QStringLiteral("velocast"))); });
    return menu;
}

// Chooses one of the menu's three items by its place, the first at the top.
// "Abrir", "Exclusão de Alunos pendêntes", "History…", "Finalizar", of equal height.
constexpr int kMenuItems = 4;

void chooseItem(const QRect& menu, int index) {
    click(QPoint(menu.center().x(), menu.top() + menu.height() * (2 * index + 1) / (2 * kMenuItems)), 1);
}

void closeMenu() {
    click(QPoint(5, 5), 1);  // outside the menu, on the bare desktop
    ASSERT_TRUE(serveUntil([] { return !popupMenu(QStringLiteral("velocast")); })) << "the menu did not close";
}

int runTables(HostDatabase& db) {
    return db.count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'"));
}

}  // namespace

std::unique_ptr<QProcess> DesktopTest::startProgram(const QString& path, const QString& dataLink) {
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(path, {QStringLiteral("--data-link"), dataLink});
    return process;
}

void DesktopTest::SetUpTestSuite() {
    if (!unavailable.isEmpty()) return;
    host = std::make_unique<HostDatabase>();
    // Nobody answers on this port: the outbox rows stay until the menu empties them.
    host->exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1'"));
    for (const char* address : {"ana@example.com", "bia@example.com", "caio@example.com"})
        host->insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QLatin1String(address)},
                                                  {QStringLiteral("Assunto"), QStringLiteral("Oi")}});
    first = startProgram(builtProgramPath(QStringLiteral("velocast")), host->dataLinkPath());
}

void DesktopTest::TearDownTestSuite() {
    if (first && first->state() != QProcess::NotRunning) {
        first->kill();
        first->waitForFinished();
    }
    first.reset();
    host.reset();
}

void DesktopTest::SetUp() {
    if (!unavailable.isEmpty()) GTEST_SKIP() << unavailable.toStdString();
    ASSERT_TRUE(first);
}

TEST_F(DesktopTest, TheWindowHidesByItselfAndOnlyADoubleClickOnTheIconBringsItBack) {
    ASSERT_TRUE(serveUntil(windowViewable)) << "the window was not shown";
    // The hide timer fires once, whatever the daily run took.
    ASSERT_TRUE(serveUntil([] { return !windowViewable(); })) << "the window did not hide by itself";
    ASSERT_EQ(trayIcons(QStringLiteral("velocast")).size(), 1) << "the icon is not embedded in the notification area";

    // A single left click does nothing. The menu that a right click then opens shows that
    // the program has handled that click.
    click(firstIcon(), 1);
    ASSERT_TRUE(openMenu()) << "the icon's menu did not open";
    closeMenu();
    EXPECT_FALSE(windowViewable());

    click(firstIcon(), 1, 2);
    EXPECT_TRUE(serveUntil(windowViewable)) << "a double click did not show the window";
}

TEST_F(DesktopTest, TheWindowIsAsDesignedAndStaysUntilClosed) {
    ASSERT_TRUE(serveUntil(windowViewable));
    const QString id = onlyWindow();
    const QRect client = windowState(id).geometry;
    EXPECT_EQ(client.size(), QSize(329, 152));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_LE(std::abs(client.center().x() - screen.center().x()), 1) << "not centred";
    EXPECT_LE(std::abs(client.center().y() - screen.center().y()), 40) << "not centred";
    const QImage pixel =
        QGuiApplication::primaryScreen()->grabWindow(0, client.x() + 3, client.y() + 3, 1, 1).toImage();
    EXPECT_EQ(QColor(pixel.pixel(0, 0)), QColor(215, 237, 251));
    // No close, minimise or maximise function is offered to the window manager.
    const QList<qulonglong> hints = motifHints(id);
    ASSERT_GE(hints.size(), 2);
    EXPECT_TRUE(hints[0] & 1) << "functions not restricted";
    EXPECT_EQ(hints[1] & (0x1 | 0x8 | 0x10 | 0x20), 0u) << "close, minimise or maximise offered";

    // The picture the README shows: the window and the icon in the tray.
    const QString shot = qEnvironmentVariable("VELOCAST_BUILD_DIR") + QStringLiteral("/velocast-desktop.png");
    EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(shot));

    // Opening and leaving the menu does not touch the window.
    ASSERT_TRUE(openMenu()) << "the icon's menu did not open";
    closeMenu();
    EXPECT_TRUE(windowViewable());
}

TEST_F(DesktopTest, ExclusaoEmptiesTheOutbox) {
    ASSERT_EQ(host->count(QStringLiteral("Velocast")), 3);
    const auto menu = openMenu();
    ASSERT_TRUE(menu) << "the icon's menu did not open";
    chooseItem(*menu, 1);
    EXPECT_TRUE(serveUntil([] { return host->count(QStringLiteral("Velocast")) == 0; }))
        << "the second item did not empty the outbox";
    EXPECT_EQ(first->state(), QProcess::Running);
    // Each row removed leaves its entry in the send history, as --history lists it.
    const auto listed = runBuiltProgram(QStringLiteral("velocast"),
                                        {QStringLiteral("--history"), QStringLiteral("--format"), QStringLiteral("csv"),
                                         QStringLiteral("--data-link"), host->dataLinkPath()});
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_EQ(listed.out.count(QLatin1String(",removed by the staff,")), 3) << listed.out.toStdString();
}

TEST_F(DesktopTest, SairHidesAndASecondCopyBringsTheFirstForwardWithoutTouchingTheDatabase) {
    ASSERT_TRUE(serveUntil(windowViewable));
    const QRect client = windowState(onlyWindow()).geometry;
    click(client.topLeft() + QPoint(285 + 17, 119 + 15), 1);
    ASSERT_TRUE(serveUntil([] { return !windowViewable(); })) << "Sair did not hide the window";
    EXPECT_EQ(trayIcons(QStringLiteral("velocast")).size(), 1);

    // The same club's database, through a data-link file of another name: the same database.
    QTemporaryDir folder;
    const QString twin = folder.filePath(QStringLiteral("twin.udl"));
    writeDataLink(twin, QStringLiteral("Provider=SQLite;Data Source=") + host->path());
    const auto second = runBuiltProgram(QStringLiteral("velocast"), {QStringLiteral("--data-link"), twin}, 60000);
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_TRUE(second.err.contains(QLatin1String("already running on this database (process ")))
        << second.err.toStdString();
    EXPECT_EQ(host->count(QStringLiteral("sqlite_master"), QStringLiteral("name LIKE 'TempFedelidade%'")), 1)
        << "the second copy opened a session";
    EXPECT_TRUE(serveUntil(windowViewable)) << "the first copy was not brought forward";
    EXPECT_EQ(windowsNamed(kWindowTitle, false).size(), 1);
}

TEST_F(DesktopTest, ACopyUnderAnotherNameRunsAndSigtermEndsItWithItsWindowShown) {
    QTemporaryDir folder;
    const QString renamed = folder.filePath(QStringLiteral("velocast-b"));
    ASSERT_TRUE(QFile::copy(builtProgramPath(QStringLiteral("velocast")), renamed));
    HostDatabase otherHost;
    otherHost.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1'"));
    auto other = startProgram(renamed, otherHost.dataLinkPath());
    ASSERT_TRUE(serveUntil([] { return windowsNamed(kWindowTitle, true).size() == 2; }))
        << "the renamed copy did not show its window";
    // The run opens its session on its own thread: the window may come first.
    EXPECT_TRUE(serveUntil([&] { return runTables(otherHost) == 1; })) << "the renamed copy opened no session";

    other->terminate();
    ASSERT_TRUE(other->waitForFinished(30000)) << "SIGTERM did not end the program";
    EXPECT_EQ(other->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(other->exitCode(), 0);
    EXPECT_EQ(runTables(otherHost), 0) << "the teardown did not run";
    EXPECT_TRUE(serveUntil([] { return trayIcons(QStringLiteral("velocast")).size() == 1; }));
}

TEST_F(DesktopTest, FinalizarEndsTheProgramWithTheTeardown) {
    ASSERT_EQ(runTables(*host), 1);
    const auto menu = openMenu();
    ASSERT_TRUE(menu) << "the icon's menu did not open";
    chooseItem(*menu, 3);
    ASSERT_TRUE(first->waitForFinished(30000)) << "Finalizar did not end the program";
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_EQ(runTables(*host), 0) << "the teardown did not drop the run table";
    EXPECT_TRUE(serveUntil([] { return trayIcons(QStringLiteral("velocast")).isEmpty(); }));
}

// A mail server that accepts and then says nothing holds the drain in its wait for the
// greeting, half a minute long. The desktop does not wait with it: the menu opens, a second
// copy brings the window forward, and "Finalizar" or SIGTERM end the program well before the
// wait could have run out, with the row in hand kept for the next start and the teardown done.
// (Runs last: the fixture's own program has ended, so the icon in the tray is this one's.)
TEST_F(DesktopTest, WhileTheMailServerIsSilentTheMenuOpensAndTheProgramEndsAtOnce) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    for (const bool finalizar : {true, false}) {
        SCOPED_TRACE(finalizar ? "Finalizar" : "SIGTERM");
        HostDatabase club;
        club.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*%1'").arg(silent.serverPort()));
        club.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QStringLiteral("ana@example.com")},
                                                 {QStringLiteral("Assunto"), QStringLiteral("Oi")}});
        auto program = startProgram(builtProgramPath(QStringLiteral("velocast")), club.dataLinkPath());
        ASSERT_TRUE(serveUntil([&] { return silent.hasPendingConnections(); })) << "the drain never connected";
        std::unique_ptr<QTcpSocket> held(silent.nextPendingConnection());

        if (finalizar) {
            ASSERT_TRUE(serveUntil([] { return !windowViewable(); })) << "the window did not hide by itself";
            const auto second = runBuiltProgram(QStringLiteral("velocast"),
                                                {QStringLiteral("--data-link"), club.dataLinkPath()}, 60000);
            EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
            EXPECT_TRUE(serveUntil(windowViewable)) << "the waiting copy was not brought forward";
            EXPECT_EQ(held->state(), QAbstractSocket::ConnectedState) << "brought forward only once the wait ran out";
        }
        const auto menu = openMenu();
        ASSERT_TRUE(menu) << "the icon's menu did not open during the wait";
        // The program still holds the silent connection: the menu did not wait for the wait.
        ASSERT_EQ(held->state(), QAbstractSocket::ConnectedState) << "the menu opened only once the wait ran out";
        if (finalizar) {
            chooseItem(*menu, 3);
        } else {
            closeMenu();
            program->terminate();
        }
        // The wait for the greeting lasts 30 seconds; the end must not sit it out.
        ASSERT_TRUE(program->waitForFinished(15000)) << "the program sat out the server's wait";
        EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program->exitCode(), 0);
        EXPECT_EQ(club.count(QStringLiteral("Velocast")), 1) << "the row in hand was lost";
        EXPECT_EQ(runTables(club), 0) << "the teardown did not run";
        EXPECT_TRUE(serveUntil([] { return trayIcons(QStringLiteral("velocast")).isEmpty(); }));
    }
}

}  // namespace velocast::testing
