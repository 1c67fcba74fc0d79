// The reception's day on a real desktop: a wrong data-link file is refused at the first start
// and an unusable one brings the chooser back; the window's first paint shows what waits;
// emptying the outbox leaves its trace in the history, and Histórico shows new outcomes while
// it is open.
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "desktop_fixture.h"
#include "shell/desktop/history_window.h"
#include "shell/window_mode.h"
#include "state/send_history.h"
#include "support/host_database.h"
#include "support/recording_notices.h"
#include "support/smtp_table_peer.h"
#include "support/velocast_process.h"
#include "x_desktop.h"

namespace velocast::testing {

namespace {

struct Reception : ::testing::Test {
    void SetUp() override {
        if (!DesktopTest::unavailable.isEmpty()) GTEST_SKIP() << DesktopTest::unavailable.toStdString();
    }
};

// The tray program started as from the desktop menu: no --data-link, so it looks where the
// account's settings are.
struct FirstStart {
    QTemporaryDir config;
    QProcess program;

    QString defaultDataLink() const { return config.filePath(QStringLiteral("velocast/Korvana.udl")); }
    void start() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        program.setProcessEnvironment(environment);
        program.start(builtProgramPath(QStringLiteral("velocast")), {});
    }
    ~FirstStart() {
        if (program.state() != QProcess::NotRunning) {
            program.terminate();
            if (!program.waitForFinished(30000)) program.kill();
            program.waitForFinished();
        }
    }
};

QString onlyWindowNamed(const QString& title) {
    QString id;
    serveUntil([&] {
        const QStringList ids = windowsNamed(title, true);
        if (ids.size() == 1) id = ids.first();
        return !id.isEmpty();
    });
    return id;
}

const QString kDialogTitle = QStringLiteral("^Velocast$");

}  // namespace

TEST_F(Reception, AFileThatIsNoDataLinkIsRefusedInTheFirstRunDialogAndNothingIsCopied) {
    FirstStart start;
    const QString notes = start.config.filePath(QStringLiteral("notes.txt"));
    {
        QFile f(notes);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Ligar para o fornecedor\n");
    }
    start.start();
    const QString dialog = onlyWindowNamed(kDialogTitle);
    ASSERT_FALSE(dialog.isEmpty()) << "the first-run dialog did not show";
    pressKeys(dialog, QStringLiteral("Return"));  // "Choose a file…"
    const QString chooser = onlyWindowNamed(QStringLiteral("data-link file"));
    ASSERT_FALSE(chooser.isEmpty()) << "the file dialog did not open";
    typeInto(chooser, notes);
    pressKeys(chooser, QStringLiteral("Return"));

    // The dialog comes back (with the reason), the program waits in it, and nothing was kept.
    ASSERT_TRUE(serveUntil([] { return windowsNamed(QStringLiteral("data-link file"), true).isEmpty(); }));
    EXPECT_FALSE(onlyWindowNamed(kDialogTitle).isEmpty()) << "the dialog did not stay";
    EXPECT_EQ(start.program.state(), QProcess::Running);
    EXPECT_TRUE(windowsNamed(kWindowTitle, false).isEmpty()) << "the program went on with the refused file";
    EXPECT_FALSE(QFileInfo::exists(start.defaultDataLink())) << "the refused file was copied";
    start.program.terminate();
    ASSERT_TRUE(start.program.waitForFinished(30000));
    const QString err = QString::fromUtf8(start.program.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("notes.txt was not used"))) << err.toStdString();
}

TEST_F(Reception, AnUnusableDefaultDataLinkBringsTheFirstRunDialogBack) {
    FirstStart start;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(start.defaultDataLink()).absolutePath()));
    {
        QFile f(start.defaultDataLink());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Ligar para o fornecedor\n");  // a wrong file an earlier start kept
    }
    start.start();
    EXPECT_FALSE(onlyWindowNamed(kDialogTitle).isEmpty()) << "the first-run dialog did not show";
    EXPECT_TRUE(windowsNamed(kWindowTitle, false).isEmpty()) << "the program went on with the unusable file";
    EXPECT_EQ(start.program.state(), QProcess::Running);
}

TEST_F(Reception, TheFirstPaintShowsWhatWaitsAndTheHistoryKeepsEveryRowRemovedOrSent) {
    HostDatabase host;
    host.exec(
        QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*1', IdSMTP_UseTLS = 'utNoTLSSupport', "
                       "EMAIL_PROVEDOR = 'clube@example.com'"));
    for (const char* address : {"ana@example.com", "bia@example.com", "caio@example.com"})
        host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QLatin1String(address)},
                                                 {QStringLiteral("Assunto"), QStringLiteral("Oi")}});
    RecordingNotices notices;
    auto run = std::make_unique<WindowMode>(host.dataLinkPath(), notices);
    Program::Intervals fast;
    fast.sendTick = std::chrono::milliseconds(300);
    run->program.setIntervals(fast);

    // What the pending label holds when it is first painted.
    struct FirstPaint : QObject {
        QString text;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint && text.isNull()) text = static_cast<QLabel*>(watched)->text();
            return false;
        }
    } firstPaint;
    run->window.LBLPENDENTES->installEventFilter(&firstPaint);
    run->start();
    ASSERT_TRUE(serveUntil([&] { return !firstPaint.text.isNull(); })) << "the window was never painted";
    EXPECT_EQ(firstPaint.text, QStringLiteral("3"));

    // Nobody answers: the rows stay, and the window says why.
    EXPECT_TRUE(serveUntil([&] { return run->window.LBLSERVIDOR->isVisible(); }));
    EXPECT_TRUE(run->window.LBLSERVIDOR->toolTip().contains(QLatin1String("127.0.0.1:1")))
        << run->window.LBLSERVIDOR->toolTip().toStdString();

    run->pmnuiLimpaClick();
    EXPECT_EQ(host.count(QStringLiteral("Velocast")), 0);
    run->pmnuiHistoricoClick();
    HistoryWindow* history = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* h = qobject_cast<HistoryWindow*>(w); h && h->isVisible()) history = h;
    ASSERT_NE(history, nullptr);
    ASSERT_EQ(history->table->rowCount(), 3) << "one entry per row removed";
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(history->table->item(row, 1)->text(), QStringLiteral("removed by the staff"));

    // A message sent while Histórico stays open appears there without a touch.
    SmtpTablePeer peer({});
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*%1'").arg(peer.port()));
    host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QStringLiteral("dani@example.com")},
                                             {QStringLiteral("Assunto"), QStringLiteral("Oi")}});
    EXPECT_TRUE(serveUntil([&] {
        return history->table->rowCount() == 4 &&
               history->table->item(0, 2)->text() == QLatin1String("dani@example.com");
    })) << "the new outcome did not appear";
    EXPECT_EQ(history->table->item(0, 1)->text(), QStringLiteral("sent"));
    EXPECT_EQ(peer.accepted(), QStringList{QStringLiteral("dani@example.com")});
    EXPECT_FALSE(run->window.LBLSERVIDOR->isVisible()) << "the outage line stayed after the server answered";

    run->finish();
    run.reset();
    EXPECT_TRUE(serveUntil([] { return windowsNamed(kWindowTitle, false).isEmpty(); }));
}

}  // namespace velocast::testing
