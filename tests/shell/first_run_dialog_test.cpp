#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "shell/desktop/first_run_dialog.h"
#include "data/data_link_check.h"
#include "support/host_database.h"
#include "support/posix_mode.h"
#include "support/qt_printers.h"

using namespace velocast;

namespace {

// Presses the dialog's button whose text starts with `prefix` once the dialog is up; `seen`
// receives the dialog's text.
void pressWhenShown(const QString& prefix, QString* seen = nullptr) {
    QTimer::singleShot(0, [prefix, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->text().contains(QStringLiteral("Korvana.udl"))) << box->text().toStdString();
        if (seen) *seen = box->text();
        for (QAbstractButton* button : box->buttons())
            if (button->text().startsWith(prefix)) return button->click();
        ADD_FAILURE() << "no button " << prefix.toStdString();
    });
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

TEST(FirstRunDialog, TheChosenFileIsUsedAndKeptWhereTheNextStartLooks) {
    QTemporaryDir dir;
    velocast::testing::HostDatabase host;
    const QString chosen = host.dataLinkPath();
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

TEST(FirstRunDialog, AFileThatCannotServeIsRefusedWithItsReasonAndNothingIsCopied) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("config/velocast/Korvana.udl"));
    // Not a data-link file; one whose database is missing; one whose database is not the club's.
    const QString notes = dir.filePath(QStringLiteral("notes.txt"));
    writeFile(notes, "shopping list\n");
    const QString missing = dir.filePath(QStringLiteral("missing.udl"));
    writeFile(missing, "[oledb]\nProvider=SQLite;Data Source=nowhere.sqlite\n");
    const QString other = dir.filePath(QStringLiteral("other.udl"));
    writeFile(dir.filePath(QStringLiteral("other.sqlite")), QByteArray());
    writeFile(other, "[oledb]\nProvider=SQLite;Data Source=other.sqlite\n");
    for (const QString& chosen : {notes, missing, other}) {
        SCOPED_TRACE(chosen.toStdString());
        EXPECT_FALSE(dataLinkProblem(chosen).isEmpty());
        QString afterRefusal;
        int asked = 0;
        pressWhenShown(QStringLiteral("Choose"));
        const FirstRunChoice choice = askForDataLink(target, true, [&] {
            // The dialog comes back after the refusal, saying why; this time the person ends.
            if (++asked == 1) pressWhenShown(QStringLiteral("End"), &afterRefusal);
            return chosen;
        });
        EXPECT_TRUE(choice.dataLinkPath.isEmpty());
        EXPECT_EQ(asked, 1);
        EXPECT_TRUE(afterRefusal.contains(QStringLiteral("was not used"))) << afterRefusal.toStdString();
        EXPECT_TRUE(afterRefusal.contains(QFileInfo(chosen).fileName())) << afterRefusal.toStdString();
        EXPECT_FALSE(QFileInfo::exists(target)) << "a refused file was copied";
    }
}

TEST(FirstRunDialog, AnUnusableDefaultFileIsReplacedByAGoodChoice) {
    QTemporaryDir dir;
    velocast::testing::HostDatabase host;
    const QString target = dir.filePath(QStringLiteral("Korvana.udl"));
    writeFile(target, "not a data link\n");
    const QString problem = dataLinkFileProblem(target);
    ASSERT_FALSE(problem.isEmpty());
    EXPECT_TRUE(dataLinkFileProblem(host.dataLinkPath()).isEmpty());
    QString shown;
    pressWhenShown(QStringLiteral("Choose"), &shown);
    const FirstRunChoice choice = askForDataLink(
        target, true, [&] { return host.dataLinkPath(); }, problem);
    EXPECT_TRUE(shown.contains(problem)) << shown.toStdString();
    EXPECT_EQ(choice.dataLinkPath, target);
    EXPECT_TRUE(dataLinkProblem(target).isEmpty()) << dataLinkProblem(target).toStdString();
}

TEST(FirstRunDialog, AFileThatNamesItsDatabaseRelativeToItsFolderIsUsedWhereItIs) {
    QTemporaryDir dir;
    velocast::testing::HostDatabase host;
    const QString chosen = host.folder() + QStringLiteral("/relative.udl");
    writeFile(chosen, "[oledb]\nProvider=SQLite;Data Source=" + QFileInfo(host.path()).fileName().toUtf8() + "\n");
    ASSERT_TRUE(dataLinkProblem(chosen).isEmpty()) << dataLinkProblem(chosen).toStdString();
    const QString target = dir.filePath(QStringLiteral("config/velocast/Korvana.udl"));
    pressWhenShown(QStringLiteral("Choose"));
    const FirstRunChoice choice = askForDataLink(target, true, [&] { return chosen; });
    EXPECT_EQ(choice.dataLinkPath, chosen);
    EXPECT_FALSE(QFileInfo::exists(target)) << "a copy that reaches no database was kept";
    EXPECT_TRUE(choice.note.contains(QLatin1String("--data-link"))) << choice.note.toStdString();
}
