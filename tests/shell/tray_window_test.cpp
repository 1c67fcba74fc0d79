#include <QAction>
#include <QFontDatabase>
#include <QScreen>
#include <gtest/gtest.h>

#include "data/shared_connection.h"
#include "shell/desktop/main_window.h"
#include "outbox/outbox_clearing.h"
#include "shell/desktop/program_icon.h"
#include "shell/desktop/outage_line.h"
#include "shell/desktop/tray_icon.h"
#include "support/session_test.h"

using namespace velocast;

namespace {

int atDensity(const TFRMVelocast& window, int pixels) {
    return qRound(pixels * window.screen()->logicalDotsPerInch() / 96.0);
}

}  // namespace

TEST(TrayWindow, IsBuiltAsDesigned) {
    TFRMVelocast window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Velocast - 2.10v"));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the border must not resize";
    EXPECT_EQ(window.size(), QSize(atDensity(window, 329), atDensity(window, 152)));
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    for (Qt::WindowType button : {Qt::WindowSystemMenuHint, Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint,
                                  Qt::WindowCloseButtonHint})
        EXPECT_FALSE(flags.testFlag(button)) << button;
    EXPECT_EQ(window.palette().color(QPalette::Window), QColor(215, 237, 251));

    struct Expected {
        const char* name;
        const char* caption;
        QColor colour;  // invalid: the window text colour
        int left, top;
    };
    const Expected labels[] = {
        {"Label2", "Total de Alunos enviados :", QColor(0, 128, 0), 9, 17},    {"LBLENVIADOS", "0", QColor(), 217, 17},
        {"Label1", "Total de Alunos pendêntes :", QColor(0, 128, 128), 9, 55}, {"LBLPENDENTES", "0", QColor(), 217, 57},
        {"Label3", "Total de E-mails inválidos :", QColor(255, 0, 0), 9, 94},  {"LBLINVALIDOS", "0", QColor(), 217, 96},
    };
    for (const Expected& e : labels) {
        SCOPED_TRACE(e.name);
        auto* label = window.findChild<QLabel*>(QLatin1String(e.name));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QString::fromUtf8(e.caption));
        EXPECT_EQ(label->pos(), QPoint(atDensity(window, e.left), atDensity(window, e.top)));
        EXPECT_EQ(label->font().family(), QStringLiteral("MS Sans Serif"));
        EXPECT_EQ(label->font().pointSize(), 12);
        EXPECT_EQ(label->palette().color(QPalette::WindowText),
                  e.colour.isValid() ? e.colour : window.palette().color(QPalette::WindowText));
        // Whatever font stands in, a caption must not run into its figure. (Qt's offscreen
        // platform on Windows has no fonts to measure: the Wine test's screenshot shows it.)
        if (!QLatin1String(e.name).startsWith(QLatin1String("LBL")) && !QFontDatabase::families().isEmpty()) {
            EXPECT_LT(label->geometry().right(), atDensity(window, 217));
        }
    }

    EXPECT_EQ(window.BBNRETORNA->geometry(),
              QRect(atDensity(window, 285), atDensity(window, 119), atDensity(window, 35), atDensity(window, 30)));
    EXPECT_EQ(window.BBNRETORNA->toolTip(), QStringLiteral("Sair"));
    EXPECT_FALSE(window.BBNRETORNA->icon().pixmap(16, 16).isNull());
    // The pictures are SVG: without Qt's SVG plugin they would be empty.
    EXPECT_FALSE(programIcon().pixmap(22, 22).isNull());
    EXPECT_FALSE(window.windowIcon().isNull());
}

TEST(TrayWindow, TheMenuHoldsItsCommandsInOrder) {
    TFRMVelocast window;
    QStringList captions;
    for (QAction* action : window.PopupMenu1->actions()) captions << action->text();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("Abrir"), QStringLiteral("Exclusão de Alunos pendêntes"),
                                     QStringLiteral("History…"), QStringLiteral("Finalizar")}));
}

TEST(TrayWindow, EveryCloseOnlyHidesAndAbrirBringsItBack) {
    struct Case {
        const char* how;
        std::function<void(TFRMVelocast&)> close;
    };
    const Case cases[] = {
        {"Sair", [](TFRMVelocast& w) { w.BBNRETORNA->click(); }},
        {"close request", [](TFRMVelocast& w) { w.close(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        TFRMVelocast window;
        window.trayAvailable = [] { return true; };
        window.show();
        c.close(window);
        EXPECT_FALSE(window.isVisible());
        window.pmnuiOpenClick();
        EXPECT_TRUE(window.isVisible());
        EXPECT_FALSE(window.isMinimized());
    }
}

TEST(TrayWindow, WithoutANotificationAreaACloseMinimisesSoTheWindowStaysReachable) {
    TFRMVelocast window;
    window.trayAvailable = [] { return false; };
    window.hideAway();  // not shown yet: stays so
    EXPECT_FALSE(window.isVisible());
    window.show();
    window.close();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isMinimized());
}

TEST(TrayWindow, EachFigureGoesToItsOwnLabel) {
    TFRMVelocast window;
    window.showFigure(Figure::Sent, 3);
    window.showFigure(Figure::Pending, 12);
    window.showFigure(Figure::Invalid, 1);
    EXPECT_EQ(window.LBLENVIADOS->text(), QStringLiteral("3"));
    EXPECT_EQ(window.LBLPENDENTES->text(), QStringLiteral("12"));
    EXPECT_EQ(window.LBLINVALIDOS->text(), QStringLiteral("1"));
}

TEST(TrayWindow, TheIconsTooltipFollowsTheThreeFigures) {
    TFRMVelocast window;
    TrayIcon tray(window);
    EXPECT_EQ(tray.toolTip(), QStringLiteral("Velocast - 2.10v\nSent: 0\nPending: 0\nInvalid: 0"));
    tray.showFigure(Figure::Sent, 3);
    tray.showFigure(Figure::Pending, 12);
    tray.showFigure(Figure::Invalid, 1);
    EXPECT_EQ(tray.toolTip(), QStringLiteral("Velocast - 2.10v\nSent: 3\nPending: 12\nInvalid: 1"));
    // While the provider throttles, the tooltip says until when; afterwards it goes again.
    tray.showPausedUntil(QDateTime(QDate(2026, 3, 5), QTime(14, 5)));
    EXPECT_EQ(tray.toolTip(), QStringLiteral("Velocast - 2.10v\nSent: 3\nPending: 12\nInvalid: 1\npaused until 14:05"));
    tray.showPausedUntil(QDateTime());
    EXPECT_EQ(tray.toolTip(), QStringLiteral("Velocast - 2.10v\nSent: 3\nPending: 12\nInvalid: 1"));
}

TEST(TrayWindow, AnUnreachableServerIsSaidInOneLineOnTheWindowAndInTheTooltip) {
    const QDateTime now(QDate(2026, 3, 5), QTime(14, 10));
    ServerOutage outage;
    outage.peer = QStringLiteral("SMTP server");
    outage.server = QStringLiteral("smtp.example.com:587");
    outage.reason = QStringLiteral("Socket Error # 111: Connection refused");
    outage.since = now.addSecs(-8 * 60);
    outage.nextTry = now.addSecs(5);
    const QString line = outageLine(outage, now);
    EXPECT_EQ(line, QStringLiteral("SMTP server smtp.example.com:587 unreachable since 14:02; next try 14:10:05"));
    // An outage that began on another day says which.
    outage.since = now.addDays(-1);
    EXPECT_TRUE(outageLine(outage, now).contains(QLatin1String("since 04/03/2026 14:10")))
        << outageLine(outage, now).toStdString();
    EXPECT_TRUE(outageLine(ServerOutage{}, now).isEmpty());

    TFRMVelocast window;
    TrayIcon tray(window);
    window.show();
    EXPECT_FALSE(window.LBLSERVIDOR->isVisible());
    window.showOutage(line, outage.reason);
    tray.setOutage(line);
    EXPECT_TRUE(window.LBLSERVIDOR->isVisible());
    // Within the window, left of Sair; the whole line and the failure are in its tooltip.
    EXPECT_LE(window.LBLSERVIDOR->geometry().right(), window.BBNRETORNA->geometry().left());
    EXPECT_TRUE(window.LBLSERVIDOR->toolTip().contains(line));
    EXPECT_TRUE(window.LBLSERVIDOR->toolTip().contains(outage.reason));
    EXPECT_TRUE(tray.toolTip().endsWith(QLatin1Char('\n') + line)) << tray.toolTip().toStdString();
    window.showOutage(QString(), QString());
    tray.setOutage(QString());
    EXPECT_FALSE(window.LBLSERVIDOR->isVisible());
    EXPECT_EQ(tray.toolTip(), QStringLiteral("Velocast - 2.10v\nSent: 0\nPending: 0\nInvalid: 0"));
}

TEST(TrayWindow, OnlyADoubleClickOnTheIconOpensTheWindow) {
    TFRMVelocast window;
    TrayIcon tray(window);
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Context}) {
        tray.activated(reason);
        EXPECT_FALSE(window.isVisible()) << reason;
    }
    tray.activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(window.isVisible());
}

namespace {
struct ClearOutbox : velocast::testing::SessionTest {
    void SetUp() override {
        for (const char* address : {"ana@example.com", "bia@example.com"})
            host.insert(QStringLiteral("Velocast"), {{QStringLiteral("Email"), QLatin1String(address)},
                                                     {QStringLiteral("Assunto"), QStringLiteral("Oi")}});
        connection.open();
    }
};
}  // namespace

TEST_F(ClearOutbox, EmptiesTheOutboxInItsOwnCommittedTransaction) {
    EXPECT_TRUE(clearOutbox(connection, notices));
    EXPECT_FALSE(connection.inTransaction());
    EXPECT_EQ(host.count(QStringLiteral("Velocast")), 0);  // seen from another connection: committed
    EXPECT_TRUE(notices.shown.empty());
}

TEST_F(ClearOutbox, AFailureRollsBackLeavesTheOutboxAndShowsTheNotice) {
    struct Case {
        const char* why;
        std::function<void(ClearOutbox&)> breakIt;
    };
    const Case cases[] = {
        {"the server refuses the delete",
         [](ClearOutbox& t) {
             t.host.exec(QStringLiteral(
                 "CREATE TRIGGER keep BEFORE DELETE ON Velocast BEGIN SELECT RAISE(ABORT, 'kept'); END"));
         }},
        {"the database is unreachable", [](ClearOutbox& t) { t.connection.close(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        c.breakIt(*this);
        notices.shown.clear();
        EXPECT_FALSE(clearOutbox(connection, notices));
        EXPECT_FALSE(connection.inTransaction());
        EXPECT_EQ(host.count(QStringLiteral("Velocast")), 2);
        ASSERT_EQ(notices.shown.size(), 1u);
        EXPECT_EQ(notices.shown[0].kind, QStringLiteral("!"));
        EXPECT_EQ(notices.shown[0].text, QStringLiteral("Abertura de tabela !"));
        EXPECT_EQ(notices.shown[0].detail, QStringLiteral("Velocast"));
    }
}

TEST(ClearOutboxSql, EachDialectHasItsStatement) {
    EXPECT_EQ(clearOutboxSql(Dialect::Mssql), QStringLiteral("TRUNCATE TABLE Velocast"));
    EXPECT_EQ(clearOutboxSql(Dialect::Sqlite), QStringLiteral("DELETE FROM Velocast"));
}
