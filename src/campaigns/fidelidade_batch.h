#pragma once
// The loyalty campaign asks about its candidates a batch at a time: one statement tells which
// of up to kSize registration numbers have a payment in every examined month. A statement per
// member and month would cost the database's overhead for nearly every member of the club
// several times over, and on SQL Server a round trip over the network each time.
#include <QList>
#include <QSet>
#include <QString>
#include <QVariant>
#include <functional>

#include "calendar/calendar_month.h"
#include "data/dialect.h"

namespace velocast {

class SharedConnection;

// The width of MATRICULA in the host tables: a registration number is never written with
// more leading zeros than fit in it.
constexpr int kRegistrationWidth = 10;

class LoyaltyBatch {
public:
    static constexpr int kSize = 500;
    // The most months one statement examines: each is a condition of its own, and SQLite
    // limits how deep a statement's conditions may nest. More months take a statement per
    // kMaxMonths of them.
    static constexpr int kMaxMonths = 120;

    // `months`: the examined months, oldest first, none before the year 1. `loyal` hears of
    // every loyal candidate, in the order they were added.
    LoyaltyBatch(SharedConnection& connection, const QList<CalendarMonth>& months,
                 std::function<void(const QVariant& matricula)> loyal);

    // Queues one candidate (its registration number as an integer, and as the member row holds
    // it); a full batch is looked up at once. Throws DbError when the lookup fails.
    void add(qlonglong number, const QVariant& matricula);
    // Looks up the candidates still queued.
    void flush();

    // The lookup of `size` candidates, bound in order as integers; it returns the numbers of
    // the loyal ones. On SQL Server it compares as the statement per member and month does:
    // the registration column turned into a number to meet the bound integer, the month and
    // year as bare numbers.
    static QString statement(const QList<CalendarMonth>& months, int size, Dialect dialect = Dialect::Sqlite);

private:
    struct Candidate {
        qlonglong number;
        QVariant matricula;
    };

    QSet<qlonglong> lookUp() const;
    // Which of `numbers` have a payment in each of `months` (at most kMaxMonths).
    QList<qlonglong> paidInEveryMonth(const QList<CalendarMonth>& months, const QList<qlonglong>& numbers) const;

    SharedConnection& connection_;
    QList<CalendarMonth> months_;
    std::function<void(const QVariant&)> loyal_;
    QList<Candidate> queued_;
};

}  // namespace velocast
