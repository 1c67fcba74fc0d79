// A notice's detail may be a mail server's reply: the box shows it as plain text, never as
// rich text, with control characters made visible.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

#include "notices/notices.h"
#include "shell/desktop/message_box_notices.h"

using namespace velocast;

TEST(MessageBoxNotices, ServerTextIsShownAsPlainTextWithControlCharactersVisible) {
    const QString detail = QStringLiteral("<b>5.7.1</b> <a href=\"http://x.example\">click</a> \x1b[31mred");
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    // The box waits in an event loop of its own (the tray menu stays usable meanwhile): look
    // at it from inside that loop, then close it.
    QTimer::singleShot(0, [&] {
        QMessageBox* box = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) box = b;
        if (!box) {
            ADD_FAILURE() << "no message box shown";
            QCoreApplication::exit(1);
            return;
        }
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
    // The notice's own "\r" is a line break on screen, never a stray character.
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Problema ao enviar e-mail ! \n Verifique seu Provedor.")))
        << shown.toStdString();
    EXPECT_FALSE(shown.contains(QLatin1Char('\r')));
}

TEST(MessageBoxNotices, ANoticeThatEndsTheProgramSaysSo) {
    QString shown, informative;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) {
                shown = b->text();
                informative = b->informativeText();
                return b->accept();
            }
        ADD_FAILURE() << "no message box shown";
        QCoreApplication::exit(1);
    });
    MessageBoxNotices notices;
    notices.endingNotice(kProblemaAoEnviar, QStringLiteral("550 5.7.1 relaying denied"));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("\n550 5.7.1 relaying denied"))) << shown.toStdString();
    EXPECT_TRUE(informative.contains(QLatin1String("Velocast ends"))) << informative.toStdString();
}
