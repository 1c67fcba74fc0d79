// The send history as drains write it: one entry for every outcome of a row, with what the
// club needs to answer "I never got it", and a history that cannot be written costs no mail.
#include <QRegularExpression>
#include <algorithm>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "campaigns/campaign_of_subject.h"
#include "outbox/outbox_clearing.h"
#include "outbox_fixture.h"
#include "state/send_history.h"
#include "support/smtp_table_peer.h"
#include "support/test_clock.h"

using namespace velocast;
using velocast::testing::OutboxFixture;
using velocast::testing::TestClock;
using Peer = velocast::testing::SmtpTablePeer;

namespace {

const QDateTime kStart(QDate(2026, 3, 5), QTime(9, 0), QTimeZone(-3 * 3600));

struct SendHistoryTest : OutboxFixture {
    QTemporaryDir folder;
    StateDatabase state;
    std::vector<QString> warnings;

    void SetUp() override {
        OutboxFixture::SetUp();
        QString error;
        ASSERT_TRUE(state.open(folder.filePath(QStringLiteral("state.sqlite")), &error)) << error.toStdString();
        sender->setStateDatabase(&state);
        sender->history.campaignOf = [this](const QString& subject) {
            return campaignOfSubject(session.TBLCONTROLE2, subject);
        };
        sender->history.warn = [this](const QString& text) { warnings.push_back(text); };
    }
    void TearDown() override {
        sender->setStateDatabase(nullptr);
        OutboxFixture::TearDown();
    }
    std::vector<HistoryEntry> entries(const QString& address = QString()) {
        std::vector<HistoryEntry> all;
        QString error;
        HistoryFilter filter;
        filter.address = address;
        EXPECT_TRUE(SendHistory(state).read(
            filter, [&](const HistoryEntry& e) { all.push_back(e); }, &error))
            << error.toStdString();
        std::reverse(all.begin(), all.end());  // oldest first reads like the drain
        return all;
    }
};

}  // namespace

TEST_F(SendHistoryTest, EveryOutcomeOfARowIsKeptWithItsTimeAddressSubjectCampaignAndReply) {
    TestClock clock(kStart);
    Peer peer({{Peer::Step::Rcpt, QStringLiteral("ninguem@example.com"), "550 5.1.1 no such user"},
               {Peer::Step::Rcpt, QStringLiteral("lotada@example.com"), "452 4.2.2 Mailbox over quota"}});
    host.exec(QStringLiteral(
        "UPDATE Qzcvar2 SET ASSUNTO_ANIVERSARIANTE = 'Feliz aniversário', ASSUNTO_AUSENTES = 'Sentimos sua falta'"));
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(peer.port()));
    addRow(QStringLiteral(" Ana@Example.com "), QStringLiteral("Feliz aniversário"));
    addRow(QStringLiteral("sem-arroba"), QStringLiteral("Sentimos sua falta"));
    addRow(QVariant());
    addRow(QStringLiteral("ninguem@example.com"), QStringLiteral("Feliz aniversário"));
    addRow(QStringLiteral("lotada@example.com"), QStringLiteral("Promoção avulsa"));

    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    ASSERT_EQ(peer.messages().size(), 1u);
    const QRegularExpressionMatch id = QRegularExpression(QStringLiteral("\r\nMessage-ID: (<[^>]+>)\r\n"))
                                           .match(QString::fromLatin1(peer.messages().at(0)));
    ASSERT_TRUE(id.hasMatch());

    struct Expected {
        SendOutcome outcome;
        const char* address;
        const char* subject;
        const char* campaign;
        QString messageId;
        const char* reply;
    };
    const Expected first[] = {
        {SendOutcome::Sent, "Ana@Example.com", "Feliz aniversário", "ANIVERSARIANTE", id.captured(1), "250 accepted"},
        {SendOutcome::Invalid, "sem-arroba", "Sentimos sua falta", "AUSENTES", {}, ""},
        {SendOutcome::Invalid, "", "Olá", "", {}, ""},
        {SendOutcome::Refused,
         "ninguem@example.com",
         "Feliz aniversário",
         "ANIVERSARIANTE",
         {},
         "550 5.1.1 no such user"},
        {SendOutcome::Deferred, "lotada@example.com", "Promoção avulsa", "", {}, "452 4.2.2 Mailbox over quota"},
    };
    const std::vector<HistoryEntry> got = entries();
    ASSERT_EQ(got.size(), std::size(first));
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        const Expected& e = first[i];
        EXPECT_EQ(sendOutcomeName(got[i].outcome), sendOutcomeName(e.outcome));
        EXPECT_EQ(got[i].at, kStart);
        EXPECT_EQ(got[i].address, QString::fromUtf8(e.address));
        EXPECT_EQ(got[i].subject, QString::fromUtf8(e.subject));
        EXPECT_EQ(got[i].campaign, QString::fromUtf8(e.campaign));
        EXPECT_EQ(got[i].messageId, e.messageId);
        EXPECT_EQ(got[i].reply, QString::fromUtf8(e.reply));
        EXPECT_GT(got[i].outboxRow, 0) << "an entry without an address is known by its row alone";
    }

    // Asked by the address as a member writes it, in any letter case.
    EXPECT_EQ(entries(QStringLiteral("ana@example.COM")).size(), 1u);

    // The full mailbox stays full: one entry per attempt, then given up after three days.
    for (int hour = 1; hour <= 73; ++hour) {
        clock.advance(3600);
        ASSERT_TRUE(sender->ENVIAR_EMAIL());
    }
    const std::vector<HistoryEntry> lotada = entries(QStringLiteral("lotada@example.com"));
    ASSERT_GT(lotada.size(), 2u);
    for (size_t i = 0; i + 1 < lotada.size(); ++i) EXPECT_EQ(lotada[i].outcome, SendOutcome::Deferred) << i;
    EXPECT_EQ(lotada.back().outcome, SendOutcome::GivenUp);
    EXPECT_EQ(lotada.back().reply, QStringLiteral("452 4.2.2 Mailbox over quota"));
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_TRUE(warnings.empty());
}

TEST_F(SendHistoryTest, AHistoryThatCannotBeWrittenCostsNoMessageAndIsSaidOnce) {
    Peer peer({});
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(peer.port()));
    for (const char* to : {"ana@example.com", "bia@example.com", "caio@example.com"}) addRow(QLatin1String(to));
    QSqlQuery(state.database()).exec(QStringLiteral("DROP TABLE send_history"));

    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(peer.accepted().size(), 3);
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_TRUE(notices.shown.empty());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_TRUE(warnings[0].contains(state.path())) << warnings[0].toStdString();
    EXPECT_TRUE(warnings[0].contains(QLatin1String("still go out"))) << warnings[0].toStdString();

    // Nor does a state database that cannot note what was sent: a message the server took
    // never stays in the outbox to go out again.
    QSqlQuery(state.database()).exec(QStringLiteral("DROP TABLE sent"));
    warnings.clear();
    for (const char* to : {"dani@example.com", "edu@example.com"}) addRow(QLatin1String(to));
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(peer.accepted().size(), 5);
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_TRUE(notices.shown.empty());
    ASSERT_GE(warnings.size(), 1u);
}

TEST_F(SendHistoryTest, EmptyingTheOutboxLeavesOneEntryPerRowRemoved) {
    TestClock clock(kStart);
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET ASSUNTO_ANIVERSARIANTE = 'Feliz aniversário'"));
    session.TBLCONTROLE2.close();
    session.openSettings();
    addRow(QStringLiteral("ana@example.com"), QStringLiteral("Feliz aniversário"));
    addRow(QVariant());
    const QStringList ids = host.strings(QStringLiteral("SELECT ID FROM Velocast ORDER BY ID"));
    int told = 0;
    sender->history.recorded = [&] { ++told; };

    QList<OutboxRow> removed;
    ASSERT_TRUE(clearOutbox(connection, notices, &removed));
    sender->history.recordAll(SendOutcome::RemovedByStaff, removed);

    EXPECT_TRUE(outbox().isEmpty());
    std::vector<HistoryEntry> got = entries();
    ASSERT_EQ(got.size(), 2u);
    std::sort(got.begin(), got.end(),
              [](const HistoryEntry& a, const HistoryEntry& b) { return a.outboxRow < b.outboxRow; });
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].outcome, SendOutcome::RemovedByStaff);
        EXPECT_EQ(got[i].at, kStart);
        EXPECT_EQ(QString::number(got[i].outboxRow), ids.at(int(i)));
    }
    EXPECT_EQ(got[0].address, QStringLiteral("ana@example.com"));
    EXPECT_EQ(got[0].campaign, QStringLiteral("ANIVERSARIANTE"));
    EXPECT_EQ(got[1].address, QString());
    EXPECT_EQ(sendOutcomeName(SendOutcome::RemovedByStaff), QStringLiteral("removed by the staff"));
    EXPECT_EQ(told, 1) << "one change for the window, not one per row";
}

TEST_F(SendHistoryTest, RowsKeptForAnUnreachableServerMakeAnOutageUntilADrainKeepsNone) {
    TestClock clock(kStart);
    std::vector<ServerOutage> told;
    QObject::connect(sender.get(), &OutboxSender::serverOutageChanged,
                     [&](const ServerOutage& o) { told.push_back(o); });
    sender->setTickInterval(std::chrono::milliseconds(5000));
    smtpAccount(QStringLiteral("127.0.0.1*1"));  // nobody answers there
    addRow(QStringLiteral("ana@example.com"));
    addRow(QStringLiteral("bia@example.com"));

    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_TRUE(told[0].active());
    EXPECT_EQ(told[0].server, QStringLiteral("127.0.0.1:1"));
    EXPECT_EQ(told[0].since, kStart);
    EXPECT_EQ(told[0].nextTry, kStart.addSecs(5));
    EXPECT_EQ(told[0].rows, 2);
    EXPECT_FALSE(told[0].reason.isEmpty());

    // Still out of reach a minute later: the outage began at the first drain.
    clock.advance(60);
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1].since, kStart);
    EXPECT_EQ(told[1].nextTry, kStart.addSecs(65));

    Peer peer({});
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(peer.port()));
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(peer.accepted().size(), 2);
    ASSERT_EQ(told.size(), 3u);
    EXPECT_FALSE(told[2].active());
    EXPECT_FALSE(sender->serverOutage().active());
}
