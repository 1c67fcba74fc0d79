// What the state database keeps for the opt-out and the daily report: the club's opt-out key,
// the day's outcomes the report counts, and the business dates whose report went.
#include <QDateTime>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "state/business_days.h"
#include "state/day_outcomes.h"
#include "state/report_notes.h"
#include "state/report_schedule.h"
#include "state/send_history.h"
#include "state/state_database.h"
#include "state/unsubscribe_secret.h"

using namespace velocast;

namespace {

void record(StateDatabase& state, const QDateTime& at, const char* outcome, const char* address, const char* subject,
            const char* campaign, const char* reply = "") {
    HistoryEntry entry;
    entry.at = at;
    entry.outcome = sendOutcomeOfName(QLatin1String(outcome));
    entry.address = QString::fromUtf8(address);
    entry.subject = QString::fromUtf8(subject);
    entry.campaign = QLatin1String(campaign);
    entry.reply = QLatin1String(reply);
    SendHistory(state).record(entry);
}

}  // namespace

TEST(UnsubscribeSecret, IsMadeOnceAndKeptAcrossRuns) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state.sqlite"));
    QString error;
    QByteArray first;
    {
        StateDatabase state;
        ASSERT_TRUE(state.open(path, &error)) << error.toStdString();
        first = unsubscribeSecret(state);
        EXPECT_EQ(first.size(), 32);
        EXPECT_EQ(unsubscribeSecret(state), first);
    }
    StateDatabase again;
    ASSERT_TRUE(again.open(path, &error)) << error.toStdString();
    EXPECT_EQ(unsubscribeSecret(again), first);
    // Another club (another state file) has a key of its own.
    StateDatabase other;
    ASSERT_TRUE(other.open(QString::fromLatin1(StateDatabase::kInMemory), &error));
    EXPECT_NE(unsubscribeSecret(other), first);
    // A damaged key is said, not silently replaced: every link sent so far depends on it.
    QSqlQuery q(again.database());
    ASSERT_TRUE(q.exec(QStringLiteral("UPDATE club_secret SET value = x'00'")));
    EXPECT_THROW(unsubscribeSecret(again), std::runtime_error);
}

TEST(DayOutcomes, CountEachRowByItsLastWordOfTheDayAndListBouncesAndOptOuts) {
    StateDatabase state;
    QString error;
    ASSERT_TRUE(state.open(QString::fromLatin1(StateDatabase::kInMemory), &error));
    const QDate day(2026, 12, 10);
    const QDateTime t(day, QTime(8, 0));
    record(state, t.addDays(-1), "sent", "ontem@x.br", "Feliz aniversário", "ANIVERSARIANTE");  // the day before
    record(state, t, "deferred", "a@x.br", "Feliz aniversário", "ANIVERSARIANTE");
    record(state, t.addSecs(60), "deferred", "A@x.br ", "Feliz aniversário", "ANIVERSARIANTE");
    record(state, t.addSecs(120), "sent", "a@x.br", "Feliz aniversário", "ANIVERSARIANTE");      // went in the end
    record(state, t.addSecs(130), "deferred", "b@x.br", "Feliz aniversário", "ANIVERSARIANTE");  // still waits
    record(state, t.addSecs(140), "refused", "c@x.br", "Feliz aniversário", "ANIVERSARIANTE", "550 5.1.1 no");
    record(state, t.addSecs(150), "suppressed", "d@x.br", "Feliz aniversário", "ANIVERSARIANTE");
    record(state, t.addSecs(160), "given-up", "e@x.br", "Sua mensalidade", "INADIMPLENTES");
    record(state, t.addSecs(170), "invalid", "", "Sua mensalidade", "INADIMPLENTES");
    record(state, t.addSecs(180), "bounced", "f@x.br", "Feliz aniversário", "ANIVERSARIANTE", "5.1.1 user unknown");
    record(state, t.addSecs(190), "opted-out", "g@x.br", "", "");
    record(state, QDateTime(day.addDays(1), QTime(0, 0)), "sent", "amanha@x.br", "x", "ANIVERSARIANTE");

    DayOutcomes got;
    ASSERT_TRUE(readDayOutcomes(state, day, &got, &error)) << error.toStdString();
    ASSERT_EQ(got.campaigns.size(), 3);
    const CampaignOutcomes& birthday = got.campaigns[0];
    EXPECT_EQ(birthday.campaign, QStringLiteral("ANIVERSARIANTE"));
    EXPECT_EQ(birthday.sent, 1);
    EXPECT_EQ(birthday.deferred, 1);
    EXPECT_EQ(birthday.invalid, 1);
    EXPECT_EQ(birthday.suppressed, 1);
    EXPECT_EQ(birthday.bounced, 1);
    EXPECT_EQ(got.campaigns[1].campaign, QStringLiteral("INADIMPLENTES"));
    EXPECT_EQ(got.campaigns[1].givenUp, 1);
    EXPECT_EQ(got.campaigns[1].invalid, 1);
    EXPECT_EQ(got.campaigns[2].optedOut, 1);
    ASSERT_EQ(got.addresses.size(), 2);
    EXPECT_EQ(got.addresses[0].address, QStringLiteral("f@x.br"));
    EXPECT_EQ(got.addresses[0].detail, QStringLiteral("5.1.1 user unknown"));
    EXPECT_EQ(got.addresses[1].outcome, QLatin1String(kOutcomeOptedOut));
}

TEST(ReportSchedule, GoesOncePerBusinessDateAfterTheDaysWorkOrAtTheHour) {
    const QDate day(2026, 12, 10);
    auto at = [&](int hour, int dayOffset = 0) { return QDateTime(day.addDays(dayOffset), QTime(hour, 5)); };
    const struct {
        const char* what;
        ReportMoment moment;
        bool alreadySent;
        bool due;
    } cases[] = {
        {"campaigns not yet run", {day, at(9), false, 0, 20}, false, false},
        {"outbox drained", {day, at(9), true, 0, 20}, false, true},
        {"rows deferred, before the hour", {day, at(19), true, 3, 20}, false, false},
        {"rows deferred, at the hour", {day, at(20), true, 3, 20}, false, true},
        {"rows deferred, after midnight", {day, at(1, 1), true, 3, 20}, false, true},
        {"already sent", {day, at(9), true, 0, 20}, true, false},
        {"no business date", {QDate(), at(9), true, 0, 20}, false, false},
    };
    for (const auto& c : cases) EXPECT_EQ(reportDue(c.moment, c.alreadySent), c.due) << c.what;

    QTemporaryDir dir;
    QString error;
    const QString path = dir.filePath(QStringLiteral("state.sqlite"));
    {
        StateDatabase state;
        ASSERT_TRUE(state.open(path, &error)) << error.toStdString();
        EXPECT_FALSE(reportSent(state, day));
        markReportSent(state, day, at(9));
        markReportSent(state, day, at(10));  // a second mark changes nothing
    }
    StateDatabase state;
    ASSERT_TRUE(state.open(path, &error)) << error.toStdString();
    EXPECT_TRUE(reportSent(state, day));
    EXPECT_FALSE(reportSent(state, day.addDays(1)));
}

// A business date is the cash register's: it may stay open past midnight or lag the calendar
// by days. Its entries run from the first moment the program worked on it to that of the next.
TEST(BusinessDays, OwnTheEntriesFromTheirFirstRunToTheNextDatesFirstRun) {
    StateDatabase state;
    QString error;
    ASSERT_TRUE(state.open(QString::fromLatin1(StateDatabase::kInMemory), &error));
    const QDate lagging(2024, 5, 20), next(2024, 5, 21);
    const QDateTime t0(QDate(2026, 12, 10), QTime(23, 0));
    EXPECT_EQ(latestBusinessDay(state), std::nullopt);
    recordBusinessDay(state, lagging, t0);
    recordBusinessDay(state, lagging, t0.addSecs(600));  // a restart: the first moment stays
    record(state, t0.addSecs(60), "sent", "a@x.test", "Oi", "AUSENTES");
    record(state, t0.addSecs(7200), "sent", "b@x.test", "Oi", "AUSENTES");  // after midnight, same date
    recordBusinessDay(state, next, t0.addSecs(3 * 3600));
    record(state, t0.addSecs(4 * 3600), "sent", "c@x.test", "Oi", "AUSENTES");
    EXPECT_EQ(latestBusinessDay(state), next);

    auto sent = [&](const QDate& date) {
        DayOutcomes day;
        QString why;
        EXPECT_TRUE(readBusinessDayOutcomes(state, date, &day, &why)) << why.toStdString();
        return day.campaigns.isEmpty() ? 0 : day.campaigns.first().sent;
    };
    EXPECT_EQ(sent(lagging), 2);
    EXPECT_EQ(sent(next), 1);
    // A date the program never worked on is its calendar day.
    EXPECT_EQ(sent(QDate(2026, 12, 11)), 2);

    // The rows each campaign wrote add up over the runs of a date; a warning kind is kept once.
    recordRowsWritten(state, lagging, QStringLiteral("AUSENTES"), 5);
    recordRowsWritten(state, lagging, QStringLiteral("AUSENTES"), 0);
    EXPECT_EQ(rowsWritten(state, lagging).value(QStringLiteral("AUSENTES")), 5);
    recordReportWarning(state, lagging, QStringLiteral("pacing"), t0, QStringLiteral("Limite."));
    recordReportWarning(state, lagging, QStringLiteral("pacing"), t0.addSecs(60), QStringLiteral("Outro."));
    EXPECT_EQ(reportWarnings(state, lagging), QStringList{QStringLiteral("23:00 Limite.")});
    EXPECT_TRUE(reportWarnings(state, next).isEmpty());
}
