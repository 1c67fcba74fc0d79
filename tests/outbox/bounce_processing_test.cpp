// Delivery reports of the three provider shapes against a send history: what is ours, what
// suppresses, what only counts, and that reading a report again changes nothing.
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "outbox/sending/bounce_processing.h"
#include "state/send_history.h"
#include "state/state_database.h"
#include "state/suppression_list.h"
#include "support/source_tree.h"

using namespace velocast;

namespace {

const QDateTime kNow(QDate(2026, 12, 11), QTime(9, 0));

QByteArray fixture(const QString& name) {
    QFile file(velocast::testing::sourceTreePath(QStringLiteral("tests/mail/mime/reports/") + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Sent {
    const char* messageId;
    const char* address;
};
// The messages the fixtures' reports are about, as the drain recorded them.
const Sent kSent[] = {
    {"<20261210093058.5f1c2ab39e4d7a01@academia-exemplo.com.br>", "Ana.Souza@exemplo.net"},
    {"<20261210223041.0c9e77d1f2a3b4c5@academia-exemplo.com.br>", "bruno@lento.example"},
    {"<20261210093101.77aa01c2e3f4a5b6@academia-exemplo.com.br>", "joao.pereira@empresa-exemplo.com.br"},
    {"<20261210093210.31bd44e0aa17c2f9@academia-exemplo.com.br>", "marina@parceiro-exemplo.com"},
    {"<20261210093319.9a8b7c6d5e4f3a2b@academia-exemplo.com.br>", "carla.mendes.99@gmail.com"},
    {"<20261210093402.4471be09c3d2e1f0@academia-exemplo.com.br>", "diego.lima@gmail.com"},
};

struct BounceProcessingTest : ::testing::Test {
    QTemporaryDir folder;
    StateDatabase state;
    void SetUp() override {
        QString error;
        ASSERT_TRUE(state.open(folder.filePath(QStringLiteral("state.sqlite")), &error)) << error.toStdString();
        for (const Sent& s : kSent)
            SendHistory(state).record({kNow.addDays(-1), SendOutcome::Sent, QLatin1String(s.address),
                                       QStringLiteral("Olá"), QStringLiteral("AUSENTES"), QLatin1String(s.messageId),
                                       QStringLiteral("250 ok")});
    }
    BounceOutcome process(const QByteArray& raw, const QDateTime& at = kNow, const BounceSettings& settings = {}) {
        const auto report = mail::readDeliveryReport(raw);
        EXPECT_TRUE(report);
        return report ? processDeliveryReport(*report, state, settings, at) : BounceOutcome{};
    }
    std::vector<HistoryEntry> bounced() {
        std::vector<HistoryEntry> all;
        QString error;
        SendHistory(state).read(
            {},
            [&](const HistoryEntry& e) {
                if (e.outcome == SendOutcome::Bounced) all.push_back(e);
            },
            &error);
        return all;
    }
    QStringList suppressed() {
        QStringList all;
        QString error;
        SuppressionList(state).list([&](const Suppression& s) { all << s.address; }, &error);
        all.sort();
        return all;
    }
};

}  // namespace

TEST_F(BounceProcessingTest, EachProviderShapeDoesWhatItsStatusSays) {
    struct Case {
        const char* file;
        const char* address;  // of the history entry
        bool suppresses;
        const char* effect;  // how the one effect line begins
    };
    const Case cases[] = {
        {"postfix-hard.eml", "Ana.Souza@exemplo.net", true, "hard bounce, address suppressed: "},
        {"postfix-delayed.eml", "bruno@lento.example", false, "soft bounce 1 of 3 in 30 days: "},
        {"exchange-hard.eml", "joao.pereira@empresa-exemplo.com.br", true, "hard bounce, address suppressed: "},
        {"exchange-policy.eml", "marina@parceiro-exemplo.com", false, "refused for the club's sending"},
        {"gmail-hard.eml", "carla.mendes.99@gmail.com", true, "hard bounce, address suppressed: "},
        {"gmail-full.eml", "diego.lima@gmail.com", false, "soft bounce 1 of 3 in 30 days: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const size_t before = bounced().size();
        const BounceOutcome outcome = process(fixture(QLatin1String(c.file)));
        EXPECT_TRUE(outcome.ours);
        ASSERT_EQ(outcome.effects.size(), 1);
        EXPECT_TRUE(outcome.effects[0].startsWith(QLatin1String(c.effect))) << outcome.effects[0].toStdString();
        const std::vector<HistoryEntry> entries = bounced();
        ASSERT_EQ(entries.size(), before + 1);
        const HistoryEntry& e = entries.front();  // newest first
        EXPECT_EQ(e.address, QLatin1String(c.address));
        EXPECT_EQ(e.subject, QStringLiteral("Olá"));
        EXPECT_EQ(e.campaign, QStringLiteral("AUSENTES"));
        EXPECT_EQ(e.at, kNow);
        EXPECT_TRUE(e.messageId.startsWith(QLatin1String("<2026121")));
        EXPECT_TRUE(e.reply.contains(QLatin1String("smtp;")) || e.reply.contains(QLatin1String("X-Postfix;")))
            << e.reply.toStdString();
        EXPECT_EQ(SuppressionList(state).isSuppressed(QLatin1String(c.address)), c.suppresses);
    }
    EXPECT_EQ(suppressed(), (QStringList{"ana.souza@exemplo.net", "carla.mendes.99@gmail.com",
                                         "joao.pereira@empresa-exemplo.com.br"}));

    // Read again, as after a crash before the reports were moved: still ours, nothing new.
    for (const Case& c : cases) {
        const BounceOutcome again = process(fixture(QLatin1String(c.file)));
        EXPECT_TRUE(again.ours) << c.file;
        ASSERT_EQ(again.effects.size(), 1);
        EXPECT_TRUE(again.effects[0].startsWith(QLatin1String("bounce already recorded"))) << c.file;
    }
    EXPECT_EQ(bounced().size(), std::size(cases));
}

TEST_F(BounceProcessingTest, SoftBouncesSuppressOnlyAfterTheCountWithinTheDays) {
    const QByteArray full = fixture(QStringLiteral("gmail-full.eml"));
    // Each report is another one of Gmail's: its own Message-ID.
    const auto nth = [&](int n) {
        QByteArray raw = full;
        return raw.replace("0002.GMR@mx.google.com", "000" + QByteArray::number(n) + ".GMR@mx.google.com");
    };
    const BounceSettings settings{3, 30};
    process(nth(1), kNow.addDays(-40), settings);  // outside the 30 days by now
    process(nth(2), kNow.addDays(-20), settings);
    EXPECT_FALSE(SuppressionList(state).isSuppressed(QStringLiteral("diego.lima@gmail.com")));
    EXPECT_TRUE(process(nth(3), kNow.addDays(-1), settings).effects[0].startsWith(QLatin1String("soft bounce 2 of 3")));
    const BounceOutcome third = process(nth(4), kNow, settings);
    EXPECT_TRUE(third.effects[0].startsWith(QLatin1String("soft bounce 3 of 3 in 30 days, address suppressed")))
        << third.effects[0].toStdString();
    const auto entry = SuppressionList(state).find(QStringLiteral("diego.lima@gmail.com"));
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->reason.startsWith(QLatin1String("3 soft bounces in 30 days, the last: 5.2.2 smtp; 552-5.2.2")))
        << entry->reason.toStdString();
    EXPECT_EQ(entry->source, QStringLiteral("bounce"));

    // Taken out once the member freed the mailbox: the count begins again.
    SuppressionList(state).remove(QStringLiteral("diego.lima@gmail.com"));
    EXPECT_TRUE(process(nth(5), kNow, settings).effects[0].startsWith(QLatin1String("soft bounce 1 of 3")));
}

TEST_F(BounceProcessingTest, WhatIsNotOursOrNamesSomeoneElseSuppressesNothing) {
    // About a message this machine never sent: left alone.
    QByteArray foreign = fixture(QStringLiteral("postfix-hard.eml"));
    foreign.replace("5f1c2ab39e4d7a01", "ffffffffffffffff");
    BounceOutcome outcome = process(foreign);
    EXPECT_FALSE(outcome.ours);
    EXPECT_TRUE(outcome.effects[0].contains(QLatin1String("not one sent from here")))
        << outcome.effects[0].toStdString();

    // Our Message-ID, but another address: recorded, nobody suppressed (neither the address the
    // report names nor the member's).
    QByteArray forged = fixture(QStringLiteral("gmail-hard.eml"));
    forged.replace("carla.mendes.99@gmail.com", "diretoria@academia-exemplo.com.br");
    outcome = process(forged);
    EXPECT_TRUE(outcome.ours);
    EXPECT_TRUE(outcome.effects[0].startsWith(QLatin1String("bounce of an address the message was not sent to")))
        << outcome.effects[0].toStdString();
    EXPECT_TRUE(suppressed().isEmpty());
    ASSERT_EQ(bounced().size(), 1u);
    EXPECT_EQ(bounced()[0].address, QStringLiteral("diretoria@academia-exemplo.com.br"));
}

TEST_F(BounceProcessingTest, AStateThatCannotBeWrittenRecordsNothingAndKeepsTheReport) {
    QSqlQuery(state.database()).exec(QStringLiteral("DROP TABLE suppression"));
    const auto report = mail::readDeliveryReport(fixture(QStringLiteral("postfix-hard.eml")));
    ASSERT_TRUE(report);
    EXPECT_THROW(processDeliveryReport(*report, state, {}, kNow), std::runtime_error);
    // Nothing half done: no history entry, and the event is not noted, so the report counts
    // when it is read again.
    EXPECT_TRUE(bounced().empty());
    EXPECT_TRUE(SuppressionList(state).recordBounce(report->key + QStringLiteral("\nana.souza@exemplo.net"),
                                                    QStringLiteral("x"), QStringLiteral("hard"), kNow));
}
