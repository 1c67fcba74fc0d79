#include "shell/desktop/message_box_notices.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>

#include "mail/smtp/smtp_reply.h"

namespace velocast {
namespace {

// The texts join their lines with "\r", "\n\r" or "\r\n", as the host system wrote them; on
// screen each is one line break, never a stray character.
QString screenText(const QString& text) {
    static const QRegularExpression breaks(QStringLiteral("\r\n|\n\r|\r|\n"));
    return QString(text).replace(breaks, QStringLiteral("\n"));
}

// A notice's detail may be a mail server's reply: shown as plain text (never as rich text,
// links or images), with control characters other than line breaks and tabs made visible.
QString plainText(const QString& text) { return mail::printableText(text, true); }

void showAsPlainText(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    box.setText(plainText(box.text()));
    box.setWindowTitle(plainText(box.windowTitle()));
}

// Shows `box` and waits until it is closed, with the program's other windows and the tray
// menu still usable: "Finalizar" and the end signals work while a notice is up. The wait ends
// with the box closed when the program is asked to end (an end request leaves every loop).
void showAndWait(QMessageBox& box) {
    showAsPlainText(box);  // database and server texts are shown, never rendered
    box.setWindowModality(Qt::NonModal);
    QEventLoop wait;
    QObject::connect(&box, &QMessageBox::finished, &wait, &QEventLoop::quit);
    box.show();
    box.raise();
    wait.exec();
    if (box.isVisible()) box.close();
}

}  // namespace

void MessageBoxNotices::MOSTRA_AVISO(const QString&, const QString& text, const QString& detail) {
    QApplication::beep();
    // Every notice the program shows says that something failed.
    QMessageBox box(QMessageBox::Critical, noticeCaption(detail), screenText(noticeMessage(text, detail)),
                    QMessageBox::Ok);
    showAndWait(box);
}

void MessageBoxNotices::endingNotice(const QString& text, const QString& detail) {
    QApplication::beep();
    QMessageBox box(QMessageBox::Critical, noticeCaption(detail), screenText(noticeMessage(text, detail)),
                    QMessageBox::Ok);
    // Otherwise the icon vanishes after OK and nobody knows the program is gone.
    box.setInformativeText(QCoreApplication::translate(
        "Velocast", "Velocast ends when this box is closed. Start it again once the cause above is mended."));
    showAndWait(box);
}

void MessageBoxNotices::reportError(const QString& errorText) {
    QMessageBox box(QMessageBox::Critical, applicationTitle(), screenText(errorReportText(errorText)), QMessageBox::Ok);
    showAndWait(box);
}

}  // namespace velocast
