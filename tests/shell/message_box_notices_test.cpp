// A notice's detail may be a mail server's reply: the box shows it as plain text, never as
// rich text, with control characters made visible.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include "data/notices.h"
#include "shell/message_box_notices.h"

using namespace velocast;

TEST(MessageBoxNotices, ServerTextIsShownAsPlainTextWithControlCharactersVisible) {
    const QString detail = QStringLiteral("<b>5.7.1</b> <a href=\"http://x.example\">click</a> \x1b[31mred");
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    // The box is modal: look at it from inside its own event loop, then close it.
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shown = box->text();
        format = box->textFormat();
        box->accept();
    });
    MessageBoxNotices notices;
    notices.MOSTRA_AVISO(QStringLiteral("!"), kProblemaAoEnviar, detail);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_TRUE(shown.contains(QLatin1String("<b>5.7.1</b> <a href=\"http://x.example\">click</a> \\x1B[31mred")))
        << shown.toStdString();
    EXPECT_FALSE(shown.contains(QChar(0x1b)));
    EXPECT_TRUE(shown.startsWith(kProblemaAoEnviar));  // the notice's own line breaks stay
}
