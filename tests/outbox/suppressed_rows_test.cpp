// The drain and the suppression list: a suppressed address's row is removed unsent, counted
// invalid, with a history entry and one warning line; every other row goes as before.
#include <QTemporaryDir>

#include "outbox/sending/suppressed_rows.h"
#include "outbox_fixture.h"
#include "state/send_history.h"
#include "state/suppression_list.h"
#include "support/smtp_table_peer.h"

using namespace velocast;
using velocast::testing::OutboxFixture;
using Peer = velocast::testing::SmtpTablePeer;

namespace {

struct SuppressedRowsTest : OutboxFixture {
    QTemporaryDir folder;
    StateDatabase state;
    void SetUp() override {
        OutboxFixture::SetUp();
        QString error;
        ASSERT_TRUE(state.open(folder.filePath(QStringLiteral("state.sqlite")), &error)) << error.toStdString();
        sender->setStateDatabase(&state);
        SuppressionList(state).add({QStringLiteral("ana@example.com"), kScopeAll,
                                    QStringLiteral("5.1.1 \"no such\" user"), QDateTime::currentDateTime(),
                                    QStringLiteral("bounce")});
        SuppressionList(state).add({QStringLiteral("bia@example.com"), QStringLiteral("marketing"),
                                    QStringLiteral("asked"), QDateTime::currentDateTime(),
                                    QStringLiteral("unsubscribe")});
    }
    void TearDown() override {
        sender->setStateDatabase(nullptr);
        OutboxFixture::TearDown();
    }
};

}  // namespace

TEST_F(SuppressedRowsTest, ASuppressedAddressIsRemovedUnsentAndCountedInvalid) {
    Peer peer({});
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(peer.port()));
    addRow(QStringLiteral("  ANA@Example.com "));
    addRow(QStringLiteral("bia@example.com"));  // suppressed for marketing only: the drain knows no scope but all yet
    addRow(QStringLiteral("caio@example.com"));

    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(peer.accepted(), (QStringList{"bia@example.com", "caio@example.com"}));
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_EQ(counters.invalid, 1);
    EXPECT_EQ(counters.sent, 2);
    EXPECT_EQ(failures, 0);

    std::vector<HistoryEntry> entries;
    QString error;
    HistoryFilter filter;
    filter.address = QStringLiteral("ana@example.com");
    ASSERT_TRUE(SendHistory(state).read(
        filter, [&](const HistoryEntry& e) { entries.push_back(e); }, &error));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].outcome, SendOutcome::Suppressed);
    EXPECT_EQ(entries[0].reply, QStringLiteral("5.1.1 \"no such\" user"));
}

TEST_F(SuppressedRowsTest, TheWarningLineNamesTheAddressAndTheReason) {
    std::vector<QString> warnings;
    const auto warn = [&](const QString& text) { warnings.push_back(text); };
    HistoryRecorder history;
    EXPECT_TRUE(
        rowSuppressed({1, QStringLiteral(" ANA@example.com\r"), QStringLiteral("Olá"), {}, {}}, state, history, warn));
    EXPECT_FALSE(
        rowSuppressed({2, QStringLiteral("caio@example.com"), QStringLiteral("Olá"), {}, {}}, state, history, warn));
    EXPECT_FALSE(rowSuppressed({3, QString(), QStringLiteral("Olá"), {}, {}}, state, history, warn));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], QStringLiteral("suppressed address, outbox row removed: address=\"ANA@example.com\" "
                                          "reason=\"5.1.1 \\\"no such\\\" user\""));
}
