// What a drain does with each class of failure: a table of replies, and drains against a peer
// that gives them, on the test's clock.
#include <QTemporaryDir>

#include "outbox_fixture.h"
#include "outbox/sending/failure_classes.h"
#include "support/smtp_table_peer.h"
#include "support/test_clock.h"

using namespace velocast;
using velocast::testing::OutboxFixture;
using velocast::testing::SmtpTablePeer;
using velocast::testing::TestClock;
using Peer = SmtpTablePeer;
using mail::SmtpError;
using mail::SmtpStep;

namespace {

SmtpError failure(SmtpStep step, int code, const QString& text) {
    SmtpError error(text);
    error.setStep(step);
    const QString enhanced = text.section(u' ', 0, 0);
    const bool hasEnhanced =
        enhanced.count(u'.') == 2 && enhanced.at(0).isDigit() && enhanced.at(0).digitValue() == code / 100;
    const QString command = step == SmtpStep::Mail      ? QStringLiteral("MAIL")
                            : step == SmtpStep::Rcpt    ? QStringLiteral("RCPT")
                            : step == SmtpStep::Data    ? QStringLiteral("DATA")
                            : step == SmtpStep::DataEnd ? QStringLiteral(".")
                                                        : QString();
    if (command.isEmpty()) error.setReply(code, hasEnhanced ? enhanced : QString());
    else error.setRefusal(command, code, hasEnhanced ? enhanced : QString());
    return error;
}

const QDateTime kStart(QDate(2026, 3, 5), QTime(9, 0), QTimeZone(-3 * 3600));

}  // namespace

TEST(FailureClasses, EachReplyFallsInItsClass) {
    using C = FailureClass;
    using W = PauseWindow;
    struct Case {
        SmtpStep step;
        int code;
        const char* text;
        C expected;
        W window;
    };
    const Case cases[] = {
        // Throttled, wherever it comes, with the window its text names.
        {SmtpStep::Greeting, 421, "4.7.0 Try again later, closing connection", C::Throttled, W::Minute},
        {SmtpStep::Mail, 451, "4.7.500 Server busy. Please try again later", C::Throttled, W::Minute},
        {SmtpStep::Rcpt, 452, "4.5.3 Too many recipients this hour", C::Throttled, W::Hour},
        {SmtpStep::DataEnd, 550, "5.4.5 Daily user sending limit exceeded", C::Throttled, W::Day},
        {SmtpStep::DataEnd, 554, "5.2.0 STOREDRV.Submission.Exception:SubmissionQuotaExceededException", C::Throttled,
         W::Day},
        {SmtpStep::Rcpt, 450, "4.7.28 rate limited, too many messages", C::Throttled, W::Minute},
        // Server-wide: the session, a 421, a 5.7.x, the sender refused, a message refused.
        {SmtpStep::Greeting, 554, "no SMTP service here", C::ServerWide, W::Minute},
        {SmtpStep::Auth, 535, "5.7.8 Authentication credentials invalid", C::ServerWide, W::Minute},
        {SmtpStep::Connect, 0, "Socket Error # 111", C::ServerWide, W::Minute},
        {SmtpStep::Rcpt, 421, "4.3.2 shutting down", C::ServerWide, W::Minute},
        {SmtpStep::Rcpt, 550, "5.7.1 relaying denied", C::ServerWide, W::Minute},
        {SmtpStep::Rcpt, 554, "Relay access denied", C::ServerWide, W::Minute},
        {SmtpStep::Mail, 553, "5.1.8 sender address rejected", C::ServerWide, W::Minute},
        {SmtpStep::Mail, 450, "4.1.8 sender domain not found", C::ServerWide, W::Minute},
        {SmtpStep::DataEnd, 554, "5.6.0 message content rejected", C::ServerWide, W::Minute},
        {SmtpStep::DataEnd, 0, "Connection Closed Gracefully.", C::ServerWide, W::Minute},
        // This recipient, for now.
        {SmtpStep::Rcpt, 450, "4.2.0 Greylisted, come back later", C::RecipientForNow, W::Minute},
        {SmtpStep::Rcpt, 451, "4.7.1 Please try again later", C::RecipientForNow, W::Minute},
        {SmtpStep::DataEnd, 452, "4.2.2 Mailbox full", C::RecipientForNow, W::Minute},
        {SmtpStep::Rcpt, 450, "4.1.1 try again later", C::RecipientForNow, W::Minute},
        // This recipient, for good.
        {SmtpStep::Rcpt, 550, "5.1.1 no such user", C::RecipientForGood, W::Minute},
        {SmtpStep::Rcpt, 556, "5.1.10 recipient has a null MX", C::RecipientForGood, W::Minute},
        {SmtpStep::Rcpt, 550, "5.2.1 mailbox disabled", C::RecipientForGood, W::Minute},
        {SmtpStep::DataEnd, 552, "5.2.2 mailbox full for good", C::RecipientForGood, W::Minute},
        {SmtpStep::Rcpt, 550, "no such user", C::RecipientForGood, W::Minute},
        {SmtpStep::Rcpt, 550, "4.1.1 mismatched class", C::RecipientForGood, W::Minute},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const FailureVerdict verdict = classifySmtpFailure(failure(c.step, c.code, QLatin1String(c.text)));
        EXPECT_EQ(failureClassName(verdict.failureClass), failureClassName(c.expected));
        if (c.expected == C::Throttled) {
            EXPECT_EQ(static_cast<int>(verdict.window), static_cast<int>(c.window));
        }
    }
}

TEST(FailureClasses, TheFullReplyKeepsTheCodesAndOnlyARefusalsCode) {
    struct Case {
        int code;
        const char* enhanced;
        const char* text;
        const char* shown;
    };
    const Case cases[] = {
        {550, "5.7.1", "5.7.1 relaying denied", "550 5.7.1 relaying denied"},
        {554, "", "Relay access denied", "554 Relay access denied"},
        {535, "5.7.8", " Authentication failed", "535 5.7.8 Authentication failed"},
        {220, "", "SSL negotiation failed.", "SSL negotiation failed."},  // the reply before the failure
        {0, "", "Socket Error # 111", "Socket Error # 111"},
    };
    for (const Case& c : cases) {
        mail::SmtpError error{QString::fromUtf8(c.text)};
        if (c.code) error.setReply(c.code, QString::fromUtf8(c.enhanced));
        EXPECT_EQ(fullReply(error), QString::fromUtf8(c.shown)) << c.text;
    }
}

TEST_F(OutboxFixture, OneRecipientNeverJamsTheQueueAndGreylistedRowsComeBackOnTheirBackoff) {
    TestClock clock(kStart);
    Peer peer({{Peer::Step::Rcpt, QStringLiteral("grey@example.com"), "450 4.2.0 Greylisted", 2},
               {Peer::Step::DataEnd, QStringLiteral("cheia@example.com"), "552 5.2.2 Mailbox full"},
               {Peer::Step::Rcpt, QStringLiteral("lotada@example.com"), "452 4.2.2 Mailbox over quota", -1}});
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(peer.port()));
    for (const char* to :
         {"grey@example.com", "ana@example.com", "cheia@example.com", "lotada@example.com", "bia@example.com"})
        addRow(QLatin1String(to));

    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_TRUE(notices.shown.empty());
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(peer.accepted(), (QStringList{QStringLiteral("ana@example.com"), QStringLiteral("bia@example.com")}));
    EXPECT_EQ(outbox(), (QStringList{QStringLiteral("grey@example.com"), QStringLiteral("lotada@example.com")}));
    EXPECT_EQ(counters.invalid, 1);  // the full mailbox, for good
    EXPECT_EQ(sender->rowsDeferredInLastDrain(), 2);

    // Before its next try nothing is attempted; after it, the next step of the backoff.
    const int sessions = peer.sessions();
    clock.advance(4 * 60);
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(peer.sessions(), sessions);
    EXPECT_EQ(sender->rowsDeferredInLastDrain(), 2);
    clock.advance(60);  // 5 minutes after the first attempt: greylisted again, next in 15
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(peer.accepted().size(), 2);
    clock.advance(14 * 60);
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(peer.accepted().size(), 2);
    clock.advance(60);  // the greylisting is over
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(peer.accepted().last(), QStringLiteral("grey@example.com"));
    EXPECT_EQ(outbox(), QStringList{QStringLiteral("lotada@example.com")});
}

TEST_F(OutboxFixture, ARecipientFailingForThreeDaysIsGivenUpAndAReusedRowIdStartsAfresh) {
    TestClock clock(kStart);
    Peer peer({{Peer::Step::Rcpt, QStringLiteral("lotada@example.com"), "452 4.2.2 Mailbox over quota"}});
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(peer.port()));
    addRow(QStringLiteral("lotada@example.com"));
    const QVariant id = host.scalar(QStringLiteral("SELECT ID FROM Velocast"));
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(outbox().size(), 1);

    // The club removes the row and the database hands its ID to another one: that row is
    // new, not deferred, and goes at once.
    host.exec(QStringLiteral("DELETE FROM Velocast"));
    host.insert(QStringLiteral("Velocast"), {{QStringLiteral("ID"), id},
                                             {QStringLiteral("Email"), QStringLiteral("ana@example.com")},
                                             {QStringLiteral("Assunto"), QStringLiteral("Outro")},
                                             {QStringLiteral("Texto"), QStringLiteral("x")}});
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(peer.accepted(), QStringList{QStringLiteral("ana@example.com")});

    addRow(QStringLiteral("lotada@example.com"));
    for (int hour = 0; hour <= 72; ++hour) {  // every hour for three days, as the backoff allows
        ASSERT_TRUE(sender->ENVIAR_EMAIL());
        clock.advance(3600);
    }
    EXPECT_TRUE(outbox().isEmpty());
    EXPECT_EQ(counters.invalid, 1);
    EXPECT_EQ(givenUp, (std::vector<std::tuple<QString, QString>>{
                           {QStringLiteral("lotada@example.com"), QStringLiteral("452 4.2.2 Mailbox over quota")}}));
}

TEST_F(OutboxFixture, AThrottlingServerPausesTheDrainWithItsRowsUntilItsWindowOpens) {
    TestClock clock(kStart);
    struct Case {
        const char* name;
        std::vector<Peer::Rule> rules;
        int sentBeforePause;
        QDateTime until;
    };
    const std::vector<Case> cases{
        {"daily quota after two messages",
         {{Peer::Step::DataEnd, {}, "550 5.4.5 Daily user sending limit exceeded", -1, 2}},
         2,
         QDateTime(kStart.date().addDays(1), QTime(0, 0), kStart.timeZone())},
        {"busy at the greeting",
         {{Peer::Step::Greeting, {}, "421 4.7.0 Try again later, closing connection", 1}},
         0,
         kStart.addSecs(60)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.exec(QStringLiteral("DELETE FROM Velocast"));
        pauses.clear();
        Peer peer(c.rules);
        smtpAccount(QStringLiteral("127.0.0.1*%1").arg(peer.port()));
        for (int i = 1; i <= 4; ++i) addRow(QStringLiteral("membro%1@example.com").arg(i));
        OutboxSender fresh(session, notices, counters);
        QObject::connect(&fresh, &OutboxSender::pauseChanged,
                         [&](const QDateTime& u, const QString& r) { pauses.emplace_back(u, r); });
        fresh.compositionOptions = sender->compositionOptions;

        ASSERT_TRUE(fresh.ENVIAR_EMAIL());
        EXPECT_EQ(peer.accepted().size(), c.sentBeforePause);
        EXPECT_EQ(outbox().size(), 4 - c.sentBeforePause);
        EXPECT_EQ(fresh.pausedUntil(), c.until);
        ASSERT_EQ(pauses.size(), 1u);
        EXPECT_EQ(std::get<0>(pauses[0]), c.until);
        // While paused nothing is tried, and the pause is announced once.
        const int sessions = peer.sessions();
        ASSERT_TRUE(fresh.ENVIAR_EMAIL());
        EXPECT_EQ(peer.sessions(), sessions);
        EXPECT_EQ(pauses.size(), 1u);
        EXPECT_EQ(failures, 0);
        EXPECT_TRUE(notices.shown.empty());
        clock.set(c.until);  // the window opens: the pause ends and the drain goes on
        ASSERT_TRUE(fresh.ENVIAR_EMAIL());
        EXPECT_FALSE(std::get<0>(pauses.at(1)).isValid());
        EXPECT_GT(peer.sessions(), sessions);
        clock.set(kStart);
    }
}

TEST_F(OutboxFixture, PacingHoldsToTheLimitsAndTheDaysCountSurvivesARestart) {
    TestClock clock(kStart);
    QTemporaryDir folder;
    const QString statePath = folder.filePath(QStringLiteral("state.sqlite"));
    Peer peer({});
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(peer.port()));
    for (int i = 1; i <= 6; ++i) addRow(QStringLiteral("membro%1@example.com").arg(i));

    {
        StateDatabase state;
        QString error;
        ASSERT_TRUE(state.open(statePath, &error)) << error.toStdString();
        sender->setStateDatabase(&state);
        sender->setPacing({2, std::nullopt, 3, 1});
        ASSERT_TRUE(sender->ENVIAR_EMAIL());
        EXPECT_EQ(peer.accepted().size(), 2);
        EXPECT_EQ(sender->pausedUntil(), kStart.addSecs(60));
        EXPECT_TRUE(std::get<1>(pauses.at(0)).contains(QLatin1String("[sending] per_minute")))
            << std::get<1>(pauses[0]).toStdString();
        clock.advance(60);
        ASSERT_TRUE(sender->ENVIAR_EMAIL());
        EXPECT_EQ(peer.accepted().size(), 3);  // the day's limit
        sender->setStateDatabase(nullptr);
    }
    // A restart the same day: the count of the day is still there.
    StateDatabase reopened;
    QString error;
    ASSERT_TRUE(reopened.open(statePath, &error)) << error.toStdString();
    OutboxSender restarted(session, notices, counters);
    restarted.setStateDatabase(&reopened);
    restarted.setPacing({2, std::nullopt, 3, 1});
    ASSERT_TRUE(restarted.ENVIAR_EMAIL());
    EXPECT_EQ(peer.accepted().size(), 3);
    EXPECT_EQ(restarted.pausedUntil(), QDateTime(kStart.date().addDays(1), QTime(0, 0), kStart.timeZone()));
    EXPECT_EQ(outbox().size(), 3);
}

TEST(Pacing, ProviderDefaultsApplyOnlyWhereTheFileSetsNothing) {
    const PacingSettings none;
    EXPECT_EQ(pacingLimitsFor(none, QStringLiteral("smtp.office365.com")).perMinute, 30);
    EXPECT_EQ(pacingLimitsFor(none, QStringLiteral("smtp.office365.com")).perDay, 10000);
    EXPECT_EQ(pacingLimitsFor(none, QStringLiteral("SMTP.Gmail.com")).perMinute, 20);
    EXPECT_EQ(pacingLimitsFor(none, QStringLiteral("smtp.gmail.com")).perDay, 2000);
    EXPECT_EQ(pacingLimitsFor(none, QStringLiteral("mail.clube.com.br")).perMinute, 0);
    PacingSettings own;
    own.perMinute = 0;  // set to no limit on purpose
    own.perDay = 500;
    EXPECT_EQ(pacingLimitsFor(own, QStringLiteral("smtp.gmail.com")).perMinute, 0);
    EXPECT_EQ(pacingLimitsFor(own, QStringLiteral("smtp.gmail.com")).perDay, 500);
}

TEST_F(OutboxFixture, AReusedConnectionCarriesItsMessagesWithRsetBetweenAndEachRowGoneBeforeTheNext) {
    Peer peer({});
    smtpAccount(QStringLiteral("127.0.0.1*%1").arg(peer.port()));
    for (int i = 1; i <= 4; ++i) addRow(QStringLiteral("membro%1@example.com").arg(i));
    sender->setPacing({std::nullopt, std::nullopt, std::nullopt, 3});
    ASSERT_TRUE(sender->ENVIAR_EMAIL());
    EXPECT_EQ(peer.accepted().size(), 4);
    EXPECT_EQ(peer.sessions(), 2);
    QStringList verbs;
    for (const QString& command : peer.commands()) verbs << command.left(4);
    EXPECT_EQ(verbs.join(u' '), QStringLiteral("EHLO MAIL RCPT DATA RSET MAIL RCPT DATA RSET MAIL RCPT DATA QUIT "
                                               "EHLO MAIL RCPT DATA QUIT"));
    EXPECT_TRUE(outbox().isEmpty());
}
