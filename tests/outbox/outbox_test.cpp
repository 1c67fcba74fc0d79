#include <gtest/gtest.h>

#include "outbox/outbox.h"
#include "outbox_fixture.h"

using namespace velocast;

using velocast::testing::OutboxFixture;

TEST_F(OutboxFixture, AppendedRowsAreCutToTheirColumnsKeepNullAndReadBackInOrder) {
    Outbox outbox(session);
    const QString longText = QString(3000, QLatin1Char('t'));
    outbox.append(
        {{}, QString(60, QLatin1Char('e')), QString(80, QLatin1Char('s')), longText, QString(600, QLatin1Char('i'))});
    outbox.append({{}, QStringLiteral("bia@example.com"), QStringLiteral(""), QString(), QString()});

    EXPECT_EQ(host.count(QStringLiteral("Velocast"),
                         QStringLiteral("IMAGEM_CORPO_MARKETING IS NULL AND Texto IS NULL AND Assunto = ''")),
              1);
    ASSERT_EQ(outbox.reload(), 2);
    const OutboxRow first = outbox.current();
    EXPECT_EQ(first.email.size(), 40);
    EXPECT_EQ(first.subject.size(), 50);
    EXPECT_EQ(first.text, longText);  // the memo column has no width
    EXPECT_EQ(first.imagePath.size(), 500);
    outbox.next();
    EXPECT_EQ(outbox.current().email, QStringLiteral("bia@example.com"));
    outbox.next();
    EXPECT_TRUE(outbox.atEnd());
}

TEST_F(OutboxFixture, RemovingDeletesTheCurrentRowEvenWhenItIsAlreadyGone) {
    Outbox outbox(session);
    for (const char* email : {"ana@example.com", "bia@example.com", "caio@example.com"})
        outbox.append({{}, QLatin1String(email), {}, {}, {}});
    ASSERT_EQ(outbox.reload(), 3);
    outbox.removeCurrent();
    EXPECT_EQ(outbox.current().email, QStringLiteral("bia@example.com"));
    host.exec(QStringLiteral("DELETE FROM Velocast WHERE Email = 'bia@example.com'"));
    outbox.removeCurrent();
    EXPECT_EQ(outbox.current().email, QStringLiteral("caio@example.com"));
    EXPECT_EQ(host.strings(QStringLiteral("SELECT Email FROM Velocast")),
              QStringList{QStringLiteral("caio@example.com")});
}
