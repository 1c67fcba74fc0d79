#include "shell/desktop/first_run_dialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "notices/log_line.h"
#include "data/data_link_check.h"

namespace velocast {
namespace {

QString chooseWithDialog() {
    return QFileDialog::getOpenFileName(
        nullptr, QCoreApplication::translate("FirstRunDialog", "Velocast: the club's data-link file"), QDir::homePath(),
        QCoreApplication::translate("FirstRunDialog", "Data-link files (*.udl);;All files (*)"));
}

bool sameFile(const QString& a, const QString& b) {
    return QFileInfo(a).canonicalFilePath() == QFileInfo(b).canonicalFilePath();
}

// Copies the chosen file to where the program looks by default, private to the account.
QString keepCopy(const QString& chosen, const QString& target) {
    if (sameFile(chosen, target)) return QString();
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    if (!QFile::copy(chosen, target))
        return QCoreApplication::translate(
                   "FirstRunDialog",
                   "the data-link file %1 could not be copied to %2; give it with --data-link next time")
            .arg(QDir::toNativeSeparators(chosen), QDir::toNativeSeparators(target));
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return QCoreApplication::translate("FirstRunDialog",
                                       "the data-link file %1 was copied to %2, where the next start looks")
        .arg(QDir::toNativeSeparators(chosen), QDir::toNativeSeparators(target));
}

}  // namespace

FirstRunChoice askForDataLink(const QString& lookedAt, bool lookedAtIsDefault,
                              const std::function<QString()>& chooseFile, const QString& problem,
                              const std::function<QString(const QString&)>& check) {
    const QString intro =
        problem.isEmpty()
            ? QCoreApplication::translate(
                  "FirstRunDialog",
                  "Velocast found no data-link file, the file that names the club's database.\n\n"
                  "It looked for:\n%1\n\n"
                  "Choose the club's .udl file (your IT person or the club's system has one), "
                  "or end Velocast.")
                  .arg(QDir::toNativeSeparators(lookedAt))
            : QCoreApplication::translate("FirstRunDialog",
                                          "Velocast cannot use the data-link file, the file that names the club's "
                                          "database:\n%1\n\n%2\n\n"
                                          "Choose the club's .udl file (your IT person or the club's system has one), "
                                          "or end Velocast.")
                  .arg(QDir::toNativeSeparators(lookedAt), problem);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Velocast"), intro);
    box.setTextFormat(Qt::PlainText);
    QPushButton* choose =
        box.addButton(QCoreApplication::translate("FirstRunDialog", "Choose a file…"), QMessageBox::AcceptRole);
    box.addButton(QCoreApplication::translate("FirstRunDialog", "End Velocast"), QMessageBox::RejectRole);
    box.setDefaultButton(choose);
    for (;;) {
        box.exec();
        if (box.clickedButton() != choose) return {};
        const QString chosen = chooseFile ? chooseFile() : chooseWithDialog();
        if (chosen.isEmpty()) continue;  // the file dialog was cancelled: ask again
        // A file that cannot serve is never kept: the next start would find it and fail again.
        QApplication::setOverrideCursor(Qt::WaitCursor);  // a server may take its login time-out
        const QString refused = check ? check(chosen) : dataLinkProblem(chosen);
        QApplication::restoreOverrideCursor();
        if (!refused.isEmpty()) {
            writeLogLine(LogPriority::Warning,
                         QStringLiteral("velocast: warning: the data-link file %1 was not used: %2")
                             .arg(QDir::toNativeSeparators(chosen), refused));
            box.setText(intro + QStringLiteral("\n\n") +
                        QCoreApplication::translate("FirstRunDialog", "The file %1 was not used: %2")
                            .arg(QDir::toNativeSeparators(chosen), refused));
            continue;
        }
        FirstRunChoice choice{chosen, QString()};
        if (lookedAtIsDefault) {
            choice.note = keepCopy(chosen, lookedAt);
            if (QFileInfo::exists(lookedAt)) choice.dataLinkPath = lookedAt;
            // A database named relative to the file's own folder is another one seen from the
            // copy: the copy would fail at every start, so the chosen file serves where it is.
            if (choice.dataLinkPath == lookedAt && !sameFile(chosen, lookedAt)) {
                QApplication::setOverrideCursor(Qt::WaitCursor);
                const QString copyProblem = check ? check(lookedAt) : dataLinkProblem(lookedAt);
                QApplication::restoreOverrideCursor();
                if (!copyProblem.isEmpty()) {
                    QFile::remove(lookedAt);
                    choice.dataLinkPath = chosen;
                    choice.note = QStringLiteral(
                                      "the data-link file %1 names its database relative to its own folder, "
                                      "so a copy at %2 would not reach it; it is used where it is: give it "
                                      "with --data-link next time")
                                      .arg(QDir::toNativeSeparators(chosen), QDir::toNativeSeparators(lookedAt));
                }
            }
        }
        return choice;
    }
}

}  // namespace velocast
