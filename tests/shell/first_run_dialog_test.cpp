#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "shell/desktop/first_run_dialog.h"
#include "support/posix_mode.h"
#include "support/qt_printers.h"

using namespace velocast;

namespace {

// Presses the dialog's button whose text starts with `prefix` once the dialog is up.
void pressWhenShown(const QString& prefix) {
    QTimer::singleShot(0, [prefix] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->text().contains(QStringLiteral("Korvana.udl"))) << box->text().toStdString();
        for (QAbstractButton* button : box->buttons())
            if (button->text().startsWith(prefix)) return button->click();
        ADD_FAILURE() << "no button " << prefix.toStdString();
    });
}

}  // namespace

TEST(FirstRunDialog, TheChosenFileIsUsedAndKeptWhereTheNextStartLooks) {
    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("from-it.udl"));
    {
        QFile f(chosen);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[oledb]\nProvider=SQLite;Data Source=/srv/club.sqlite\n");
    }
    const QString expected = dir.filePath(QStringLiteral("config/velocast/Korvana.udl"));
    pressWhenShown(QStringLiteral("Choose"));
    const FirstRunChoice choice = askForDataLink(expected, true, [&] { return chosen; });
    EXPECT_EQ(choice.dataLinkPath, expected);
    EXPECT_TRUE(choice.note.contains(QStringLiteral("copied"))) << choice.note.toStdString();
    // It holds the database password: nobody else may read it.
    if (const auto mode = velocast::testing::posixMode(expected)) {
        EXPECT_EQ(*mode & 077, 0u);
    }

    // Given with --data-link, the chosen file is used where it is.
    pressWhenShown(QStringLiteral("Choose"));
    EXPECT_EQ(askForDataLink(dir.filePath(QStringLiteral("elsewhere/Korvana.udl")), false, [&] { return chosen; })
                  .dataLinkPath,
              chosen);
}

TEST(FirstRunDialog, EndingLeavesNoPath) {
    pressWhenShown(QStringLiteral("End"));
    EXPECT_TRUE(
        askForDataLink(QStringLiteral("/nowhere/Korvana.udl"), true, [] { return QString(); }).dataLinkPath.isEmpty());
}
