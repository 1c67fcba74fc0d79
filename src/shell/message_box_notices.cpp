#include "shell/message_box_notices.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>

namespace velocast {
namespace {

// The texts join their lines with "\r", "\n\r" or "\r\n", as the host system wrote them; on
// screen each is one line break, never a stray character.
QString screenText(const QString& text) {
    static const QRegularExpression breaks(QStringLiteral("\r\n|\n\r|\r|\n"));
    return QString(text).replace(breaks, QStringLiteral("\n"));
}

// Shows `box` and waits until it is closed, with the program's other windows and the tray
// menu still usable: "Finalizar" and the end signals work while a notice is up. The wait ends
// with the box closed when the program is asked to end (an end request leaves every loop).
int showAndWait(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);  // database and server texts are shown, never rendered
    box.setWindowModality(Qt::NonModal);
    QEventLoop wait;
    int answer = -1;
    QObject::connect(&box, &QMessageBox::finished, &wait, [&](int result) {
        answer = result;
        wait.quit();
    });
    box.show();
    box.raise();
    wait.exec();
    if (box.isVisible()) box.close();
    return answer;
}

}  // namespace

NoticeAnswer MessageBoxNotices::MOSTRA_AVISO(const QString& kind, const QString& text, const QString& detail) {
    QApplication::beep();
    const bool question = noticeIsQuestion(kind);
    // Every notice the program shows says that something failed.
    QMessageBox box(question ? QMessageBox::Question : QMessageBox::Critical, noticeCaption(detail),
                    screenText(noticeMessage(text, detail)),
                    question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::StandardButtons(QMessageBox::Ok));
    const int pressed = showAndWait(box);
    if (!question) return NoticeAnswer::Ok;
    return pressed == QMessageBox::Yes ? NoticeAnswer::Yes : NoticeAnswer::No;
}

void MessageBoxNotices::reportError(const QString& errorText) {
    QMessageBox box(QMessageBox::Critical, applicationTitle(), screenText(errorReportText(errorText)), QMessageBox::Ok);
    showAndWait(box);
}

}  // namespace velocast
