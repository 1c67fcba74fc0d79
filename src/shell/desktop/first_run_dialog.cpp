#include "shell/desktop/first_run_dialog.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace velocast {
namespace {

QString chooseWithDialog() {
    return QFileDialog::getOpenFileName(nullptr, QStringLiteral("Velocast: the club's data-link file"),
                                        QDir::homePath(), QStringLiteral("Data-link files (*.udl);;All files (*)"));
}

// Copies the chosen file to where the program looks by default, private to the account.
QString keepCopy(const QString& chosen, const QString& target) {
    if (QFileInfo(chosen).canonicalFilePath() == QFileInfo(target).canonicalFilePath()) return QString();
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    if (!QFile::copy(chosen, target))
        return QStringLiteral("the data-link file %1 could not be copied to %2; give it with --data-link next time")
            .arg(QDir::toNativeSeparators(chosen), QDir::toNativeSeparators(target));
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return QStringLiteral("the data-link file %1 was copied to %2, where the next start looks")
        .arg(QDir::toNativeSeparators(chosen), QDir::toNativeSeparators(target));
}

}  // namespace

FirstRunChoice askForDataLink(const QString& lookedAt, bool lookedAtIsDefault,
                              const std::function<QString()>& chooseFile) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Velocast"),
                    QStringLiteral("Velocast found no data-link file, the file that names the club's database.\n\n"
                                   "It looked for:\n%1\n\n"
                                   "Choose the club's .udl file (your IT person or the club's system has one), "
                                   "or end Velocast.")
                        .arg(QDir::toNativeSeparators(lookedAt)));
    box.setTextFormat(Qt::PlainText);
    QPushButton* choose = box.addButton(QStringLiteral("Choose a file…"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("End Velocast"), QMessageBox::RejectRole);
    box.setDefaultButton(choose);
    for (;;) {
        box.exec();
        if (box.clickedButton() != choose) return {};
        const QString chosen = chooseFile ? chooseFile() : chooseWithDialog();
        if (chosen.isEmpty()) continue;  // the file dialog was cancelled: ask again
        FirstRunChoice choice{chosen, QString()};
        if (lookedAtIsDefault) {
            choice.note = keepCopy(chosen, lookedAt);
            if (QFileInfo::exists(lookedAt)) choice.dataLinkPath = lookedAt;
        }
        return choice;
    }
}

}  // namespace velocast
