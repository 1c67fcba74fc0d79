// The send history as the staff and the operator look at it: --history on a terminal or as
// CSV, and the "Histórico…" window with its filter.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableWidget>
#include <QHeaderView>
#include <QSettings>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <gtest/gtest.h>

#include "notices/notices.h"
#include "settings/settings.h"
#include "shell/commands/command_line.h"
#include "shell/commands/history_command.h"
#include "shell/desktop/history_window.h"
#include "shell/window_mode.h"
#include "state/send_history.h"
#include "state/state_database.h"
#include "support/qt_printers.h"
#include "support/recording_notices.h"
#include "support/serve_until.h"
#include "support/stream_text.h"
#include "support/test_clock.h"

using namespace velocast;

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0));

QString readAll(std::FILE* f) { return velocast::testing::readAllAndClose(f); }

// A club's state file with a few days of outcomes, named by velocast.conf.
struct HistoryFixture : ::testing::Test {
    QTemporaryDir folder;
    Settings settings;
    StateDatabase state;

    void SetUp() override {
        settings.stateDatabase = folder.filePath(QStringLiteral("state.sqlite"));
        QString error;
        ASSERT_TRUE(state.open(folder.filePath(QStringLiteral("state.sqlite")), &error)) << error.toStdString();
        SendHistory history(state);
        history.record({kNow.addDays(-500),
                        SendOutcome::Sent,
                        QStringLiteral("ana@example.com"),
                        QStringLiteral("Antigo"),
                        {},
                        {},
                        {}});
        history.record({kNow.addDays(-9), SendOutcome::Sent, QStringLiteral("ana@example.com"),
                        QStringLiteral("Feliz aniversário"), QStringLiteral("ANIVERSARIANTE"),
                        QStringLiteral("<1.2@example.com>"), QStringLiteral("250 2.0.0 Ok: queued as 4F2A")});
        history.record({kNow.addDays(-2),
                        SendOutcome::Invalid,
                        QStringLiteral("sem-arroba"),
                        QStringLiteral("Sentimos, sua falta"),
                        QStringLiteral("AUSENTES"),
                        {},
                        {}});
        history.record({kNow.addDays(-1),
                        SendOutcome::Refused,
                        QStringLiteral("Ana@Example.com"),
                        QStringLiteral("Plano\x1b[2J"),
                        {},
                        {},
                        QStringLiteral("550 5.1.1 no such user")});
    }
};

}  // namespace

TEST(HistoryCommandLine, TakesAnOptionalAddressAndRefusesWhatItCannotUse) {
    struct Case {
        QStringList args;
        bool ok;
        const char* address;
        const char* since;
    };
    const Case cases[] = {
        {{"--history"}, true, "", ""},
        {{"--history", "ana@example.com", "--since", "2026-03-01", "--format", "csv"},
         true,
         "ana@example.com",
         "2026-03-01"},
        {{"--history", "--since", "2026-03-01"}, true, "", "2026-03-01"},
        {{"--since", "2026-03-01"}, false, "", ""},
        {{"--history", "--since", "01/03/2026"}, false, "", ""},
        {{"--history", "--preview"}, false, "", ""},
        {{"--history", "--headless"}, false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        QString error;
        const auto options = parseCommandLine(c.args, &error);
        ASSERT_EQ(options.has_value(), c.ok) << error.toStdString();
        if (!c.ok) {
            EXPECT_FALSE(error.isEmpty());
            continue;
        }
        EXPECT_EQ(options->command, Command::History);
        EXPECT_EQ(options->historyAddress, QLatin1String(c.address));
        EXPECT_EQ(options->since, QLatin1String(c.since));
    }
}

TEST_F(HistoryFixture, TheCommandListsAnAddressNewestFirstSafelyAndAsCsvAndPrunesByRetention) {
    velocast::testing::TestClock clock(kNow);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_EQ(runHistory({QStringLiteral("/nowhere/Korvana.udl"), QStringLiteral("ANA@example.com"), {}, false},
                         settings, out, err),
              0);
    const QStringList lines = readAll(out).split(u'\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(readAll(err).isEmpty());
    // The entry past the 400 days is gone; the terminal gets no escape sequence from a subject.
    ASSERT_EQ(lines.size(), 2) << lines.join(u'\n').toStdString();
    EXPECT_EQ(
        lines[0].toStdString(),
        std::string("2026-03-09 12:00:00  refused   Ana@Example.com  \"Plano\\x1b[2J\"  -  550 5.1.1 no such user"));
    EXPECT_EQ(lines[1].toStdString(),
              std::string("2026-03-01 12:00:00  sent      ana@example.com  \"Feliz aniversário\"  ANIVERSARIANTE  "
                          "<1.2@example.com>  250 2.0.0 Ok: queued as 4F2A"));

    out = std::tmpfile();
    err = std::tmpfile();
    ASSERT_EQ(runHistory({QStringLiteral("/nowhere/Korvana.udl"), {}, QDate(2026, 3, 8), true}, settings, out, err), 0);
    EXPECT_EQ(readAll(out),
              QStringLiteral("time,outcome,address,subject,campaign,message_id,reply\n"
                             "2026-03-09 12:00:00,refused,Ana@Example.com,Plano\x1b[2J,,,550 5.1.1 no such user\n"
                             "2026-03-08 12:00:00,invalid,sem-arroba,\"Sentimos, sua falta\",AUSENTES,,\n"));

    out = std::tmpfile();
    err = std::tmpfile();
    ASSERT_EQ(runHistory({QStringLiteral("/nowhere/Korvana.udl"), QStringLiteral("bia@example.com"), {}, false},
                         settings, out, err),
              0);
    EXPECT_TRUE(readAll(out).startsWith(
        QLatin1String("No outcome is recorded for bia@example.com (the history keeps 400 days")));
    readAll(err);
}

TEST_F(HistoryFixture, TheWindowShowsTheLastDaysFailuresInRedAndFiltersByAPartOfTheAddress) {
    velocast::testing::TestClock clock(kNow);
    HistoryWindow window(state);
    window.reload();
    const auto column = [&](int c) {
        QStringList cells;
        for (int r = 0; r < window.table->rowCount(); ++r) cells << window.table->item(r, c)->text();
        return cells;
    };
    // The last 7 days: the refusal and the invalid address, the newest first.
    EXPECT_EQ(column(1), (QStringList{QStringLiteral("refused"), QStringLiteral("invalid")}));
    EXPECT_EQ(column(2), (QStringList{QStringLiteral("Ana@Example.com"), QStringLiteral("sem-arroba")}));
    EXPECT_EQ(window.table->item(1, 2)->foreground().color(), QColor(255, 0, 0));

    window.days->setValue(30);
    EXPECT_EQ(column(1).size(), 3);
    EXPECT_EQ(window.table->item(2, 5)->text(), QStringLiteral("250 2.0.0 Ok: queued as 4F2A"));
    EXPECT_NE(window.table->item(2, 2)->foreground().color(), QColor(255, 0, 0));
    window.filter->setText(QStringLiteral("ANA@"));
    EXPECT_EQ(column(2), (QStringList{QStringLiteral("Ana@Example.com"), QStringLiteral("ana@example.com")}));
    window.filter->setText(QStringLiteral("ninguém"));
    EXPECT_EQ(window.table->rowCount(), 0);
    EXPECT_EQ(window.status->text(), QStringLiteral("0 record(s)."));
}

TEST_F(HistoryFixture, TheWindowKeepsEveryColumnInReachAndNamesTheRowOfAnEntryWithoutAnAddress) {
    velocast::testing::TestClock clock(kNow);
    const QString longAddress = QString(300, QLatin1Char('a')) + QStringLiteral("@example.com");
    SendHistory(state).record({kNow.addSecs(-60),
                               SendOutcome::Refused,
                               longAddress,
                               QStringLiteral("Oi"),
                               {},
                               {},
                               QStringLiteral("550 5.1.1 no such user"),
                               41});
    SendHistory(state).record(
        {kNow.addSecs(-30), SendOutcome::Invalid, QString(), QStringLiteral("Oi"), {}, {}, {}, 42});
    HistoryWindow window(state);
    window.resize(900, 420);
    window.show();
    window.reload();
    ASSERT_EQ(window.table->item(1, 2)->text(), longAddress);
    // The long address is cut on screen, whole in its tooltip; the reply starts within the view.
    EXPECT_EQ(window.table->item(1, 2)->toolTip(), longAddress);
    const QHeaderView* header = window.table->horizontalHeader();
    EXPECT_LT(header->sectionViewportPosition(5) + 50, window.table->viewport()->width())
        << "the server's reply is out of sight";
    EXPECT_EQ(window.table->item(0, 2)->text(), QStringLiteral("(no address: outbox row 42)"));
}

TEST_F(HistoryFixture, TheOpenWindowShowsNewOutcomesWithoutTouchingTheFilter) {
    velocast::testing::TestClock clock(kNow);
    HistoryWindow window(state);
    window.show();
    window.reload();
    const int before = window.table->rowCount();
    SendHistory(state).record({kNow,
                               SendOutcome::Sent,
                               QStringLiteral("bia@example.com"),
                               QStringLiteral("Oi"),
                               {},
                               {},
                               QStringLiteral("250 ok"),
                               7});
    window.historyChanged();
    EXPECT_TRUE(velocast::testing::serveUntil([&] { return window.table->rowCount() == before + 1; }));
    EXPECT_EQ(window.table->item(0, 2)->text(), QStringLiteral("bia@example.com"));
}

TEST_F(HistoryFixture, TheWindowRemembersItsSizeAndPlaceInTheDesktopSettings) {
    // The desktop's settings of this account, here in the test's own folder.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.filePath(QStringLiteral("desktop")));
    QSize size;
    {
        HistoryWindow window(state);
        window.show();
        size = window.size() + QSize(37, 23);
        window.resize(size);
        window.close();
    }
    HistoryWindow again(state);
    EXPECT_EQ(again.size(), size);
}

TEST(HistoryMenu, HistoricoOpensOneWindowAndSaysWhenThereIsNoStateToShow) {
    RecordingNotices notices;
    WindowMode run(QStringLiteral("/nowhere/Korvana.udl"), notices);
    run.window.pmnuiHistorico->trigger();
    run.window.pmnuiHistorico->trigger();
    QList<HistoryWindow*> shown;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* h = qobject_cast<HistoryWindow*>(w); h && h->isVisible()) shown << h;
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0]->status->text().contains(QLatin1String("[state] database")))
        << shown[0]->status->text().toStdString();
    EXPECT_TRUE(notices.shown.empty());
}
