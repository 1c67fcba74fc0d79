#include "shell/message_box_notices.h"

#include <QApplication>
#include <QMessageBox>

namespace velocast {

NoticeAnswer MessageBoxNotices::MOSTRA_AVISO(const QString& kind, const QString& text, const QString& detail) {
    QApplication::beep();
    const bool question = noticeIsQuestion(kind);
    QMessageBox box(question ? QMessageBox::Question : QMessageBox::Information, noticeCaption(detail),
                    noticeMessage(text, detail),
                    question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::StandardButtons(QMessageBox::Ok));
    box.setWindowModality(Qt::ApplicationModal);
    const int pressed = box.exec();
    if (!question) return NoticeAnswer::Ok;
    return pressed == QMessageBox::Yes ? NoticeAnswer::Yes : NoticeAnswer::No;
}

void MessageBoxNotices::reportError(const QString& errorText) {
    QMessageBox box(QMessageBox::Critical, applicationTitle(), errorReportText(errorText), QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace velocast
