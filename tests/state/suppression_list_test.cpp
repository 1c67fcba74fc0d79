// The suppression list: addresses compared as members and staff type them, scopes, removal,
// and the bounce events that count once however often a report is read.
#include <QDateTime>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "state/send_history.h"
#include "state/state_database.h"
#include "state/suppression_list.h"

using namespace velocast;

namespace {

const QDateTime kT0(QDate(2026, 12, 1), QTime(9, 0));

struct SuppressionListTest : ::testing::Test {
    QTemporaryDir folder;
    StateDatabase state;
    void SetUp() override {
        QString error;
        ASSERT_TRUE(state.open(folder.filePath(QStringLiteral("state.sqlite")), &error)) << error.toStdString();
    }
    QStringList listed() {
        QStringList all;
        QString error;
        EXPECT_TRUE(SuppressionList(state).list(
            [&](const Suppression& s) { all << s.address + QLatin1Char('/') + s.scope + QLatin1Char('/') + s.source; },
            &error));
        return all;
    }
};

}  // namespace

TEST_F(SuppressionListTest, AddressesInAnyCaseAndBlanksScopesAndRemoval) {
    SuppressionList list(state);
    EXPECT_TRUE(list.add({QStringLiteral("  Ana.Souza@Exemplo.NET "), kScopeAll, QStringLiteral("5.1.1 user unknown"),
                          kT0, QStringLiteral("bounce")}));
    // A second entry for the same address and scope keeps the first one's reason and date.
    EXPECT_FALSE(list.add({QStringLiteral("ana.souza@exemplo.net"), kScopeAll, QStringLiteral("later"), kT0.addDays(1),
                           QStringLiteral("bounce")}));
    EXPECT_TRUE(list.add({QStringLiteral("bia@exemplo.net"), QStringLiteral("marketing"), QStringLiteral("asked"),
                          kT0.addDays(2), QStringLiteral("unsubscribe")}));
    EXPECT_EQ(listed(), (QStringList{"bia@exemplo.net/marketing/unsubscribe", "ana.souza@exemplo.net/all/bounce"}));

    struct Case {
        const char* address;
        const char* scope;
        bool suppressed;
    };
    const Case cases[] = {
        {"ANA.SOUZA@exemplo.net", "all", true},
        {" ana.souza@exemplo.net\t", "marketing", true},  // all covers every scope
        {"bia@exemplo.net", "marketing", true},
        {"bia@exemplo.net", "all", false},  // service e-mails still go
        {"ana.souza@exemplo.ne", "all", false},
        {"", "all", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(list.isSuppressed(QLatin1String(c.address), QLatin1String(c.scope)), c.suppressed)
            << c.address << " " << c.scope;
    const auto ana = list.find(QStringLiteral("Ana.Souza@exemplo.net"), QStringLiteral("marketing"));
    ASSERT_TRUE(ana);
    EXPECT_EQ(ana->reason, QStringLiteral("5.1.1 user unknown"));
    EXPECT_EQ(ana->at, kT0);

    EXPECT_EQ(list.remove(QStringLiteral(" ANA.souza@exemplo.net")), 1);
    EXPECT_EQ(list.remove(QStringLiteral("ana.souza@exemplo.net")), 0);
    EXPECT_EQ(list.remove(QStringLiteral("bia@exemplo.net"), kScopeAll), 0);
    EXPECT_EQ(listed(), QStringList{"bia@exemplo.net/marketing/unsubscribe"});
}

TEST_F(SuppressionListTest, BounceEventsCountOnceAndStopCountingOnceTakenOut) {
    SuppressionList list(state);
    const QString soft = QStringLiteral("soft");
    EXPECT_TRUE(
        list.recordBounce(QStringLiteral("<r1@mta>\nbruno@x.example"), QStringLiteral("Bruno@x.example"), soft, kT0));
    EXPECT_FALSE(list.recordBounce(QStringLiteral("<r1@mta>\nbruno@x.example"), QStringLiteral("bruno@x.example"), soft,
                                   kT0.addDays(1)));
    EXPECT_TRUE(list.recordBounce(QStringLiteral("<r2@mta>\nbruno@x.example"), QStringLiteral("bruno@x.example"), soft,
                                  kT0.addDays(10)));
    EXPECT_TRUE(list.recordBounce(QStringLiteral("<r3@mta>\nbruno@x.example"), QStringLiteral("bruno@x.example"),
                                  QStringLiteral("hard"), kT0.addDays(10)));
    EXPECT_EQ(list.bouncesSince(QStringLiteral("BRUNO@x.example"), soft, kT0), 2);
    EXPECT_EQ(list.bouncesSince(QStringLiteral("bruno@x.example"), soft, kT0.addDays(1)), 1);

    // Taken out after the record was fixed: the earlier bounces count no more, yet a report
    // read again still counts nothing.
    list.remove(QStringLiteral("bruno@x.example"));
    EXPECT_EQ(list.bouncesSince(QStringLiteral("bruno@x.example"), soft, kT0), 0);
    EXPECT_FALSE(list.recordBounce(QStringLiteral("<r2@mta>\nbruno@x.example"), QStringLiteral("bruno@x.example"), soft,
                                   kT0.addDays(11)));
}

TEST_F(SuppressionListTest, TheHistoryTellsWhichMessageWasSentAndToWhom) {
    SendHistory history(state);
    history.record({kT0,
                    SendOutcome::Deferred,
                    QStringLiteral("ana@x.example"),
                    QStringLiteral("Olá"),
                    {},
                    QStringLiteral("<m1@club>"),
                    QStringLiteral("451 later")});
    history.record({kT0.addSecs(60), SendOutcome::Sent, QStringLiteral("Ana@x.example"), QStringLiteral("Olá"),
                    QStringLiteral("AUSENTES"), QStringLiteral("<m1@club>"), QStringLiteral("250 ok")});
    const auto sent = history.sentMessage(QStringLiteral("<m1@club>"));
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->address, QStringLiteral("Ana@x.example"));
    EXPECT_EQ(sent->campaign, QStringLiteral("AUSENTES"));
    EXPECT_FALSE(history.sentMessage(QStringLiteral("<M1@club>")));
    EXPECT_FALSE(history.sentMessage(QString()));
    EXPECT_FALSE(history.sentMessage(QStringLiteral("<other@club>")));
}
