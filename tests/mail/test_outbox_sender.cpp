#include "outbox_fixture.h"

using namespace velocast;
using velocast::testing::OutboxFixture;

TEST_F(OutboxFixture, InvalidAndEmptyAddressesAreCountedAndDeletedWithoutAnyServer) {
    smtpAccount(QStringLiteral("127.0.0.1*1"));  // nothing listens; nothing may connect either
    addRow(QStringLiteral("not an address"));
    addRow(QVariant());
    addRow(QStringLiteral("   "));
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_EQ(counters.invalid, 3);
    EXPECT_EQ(counters.sent, 0);
    EXPECT_TRUE(notices.shown.empty());
    // Each discarded row shows the invalid figure; the pending figure keeps the drain's start
    // count minus the sent counter, as it always did.
    EXPECT_EQ(figures, (std::vector<std::tuple<QString, qint32>>{
                           {QStringLiteral("LBLENVIADOS"), 0}, {QStringLiteral("LBLPENDENTES"), 3},
                           {QStringLiteral("LBLINVALIDOS"), 1}, {QStringLiteral("LBLENVIADOS"), 0}, {QStringLiteral("LBLPENDENTES"), 3},
                           {QStringLiteral("LBLINVALIDOS"), 2}, {QStringLiteral("LBLENVIADOS"), 0}, {QStringLiteral("LBLPENDENTES"), 3},
                           {QStringLiteral("LBLINVALIDOS"), 3}, {QStringLiteral("LBLENVIADOS"), 0}, {QStringLiteral("LBLPENDENTES"), 3}}));
}

TEST_F(OutboxFixture, RowsStaySilentlyWhenThePortCannotBeReadOrNobodyAnswers) {
    addRow(QStringLiteral("ana@example.com"));
    addRow(QStringLiteral("bia@example.com"));
    for (const char* server : {"127.0.0.1*2525 ", "127.0.0.1*1", "127.0.0.1"}) {
        smtpAccount(QLatin1String(server));
        ASSERT_TRUE(sender->ENVIAR_EMAIL()) << server;
        EXPECT_EQ(outbox().size(), 2) << server;
        EXPECT_EQ(sender->rowsFinishedInLastDrain(), 0);
    }
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_EQ(counters.sent, 0);
    EXPECT_EQ(terminations, 0);
}

TEST_F(OutboxFixture, AnEmptyOutboxDrainsToTrueAndTheTickRearmsTheTimer) {
    timer2.start();
    sender->Timer2Timer();
    EXPECT_TRUE(timer2.isActive());
    EXPECT_EQ(endRequests, 0);
    EXPECT_EQ(figures, (std::vector<std::tuple<QString, qint32>>{{QStringLiteral("LBLENVIADOS"), 0}, {QStringLiteral("LBLPENDENTES"), 0}}));
    // A tick that arrives after the timer was stopped does nothing.
    timer2.stop();
    figures.clear();
    sender->Timer2Timer();
    EXPECT_TRUE(figures.empty());
}
