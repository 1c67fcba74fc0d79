#include "shell/message_box_notices.h"

#include <QApplication>
#include <QMessageBox>

#include "mail/smtp/smtp_reply.h"

namespace velocast {

namespace {

// A notice's detail may be a mail server's reply: shown as plain text (never as rich text,
// links or images), with control characters other than line breaks and tabs made visible.
QString plainText(const QString& text) { return mail::printableText(text, true); }

void showAsPlainText(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    box.setText(plainText(box.text()));
    box.setWindowTitle(plainText(box.windowTitle()));
}

}  // namespace

NoticeAnswer MessageBoxNotices::MOSTRA_AVISO(const QString& kind, const QString& text, const QString& detail) {
    QApplication::beep();
    const bool question = noticeIsQuestion(kind);
    QMessageBox box(question ? QMessageBox::Question : QMessageBox::Information, noticeCaption(detail),
                    noticeMessage(text, detail),
                    question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::StandardButtons(QMessageBox::Ok));
    box.setWindowModality(Qt::ApplicationModal);
    showAsPlainText(box);
    const int pressed = box.exec();
    if (!question) return NoticeAnswer::Ok;
    return pressed == QMessageBox::Yes ? NoticeAnswer::Yes : NoticeAnswer::No;
}

void MessageBoxNotices::reportError(const QString& errorText) {
    QMessageBox box(QMessageBox::Critical, applicationTitle(), errorReportText(errorText), QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    showAsPlainText(box);
    box.exec();
}

}  // namespace velocast
