#pragma once
// A point in time as the host system stores it: whole days since 30 December 1899 plus the
// fraction of the day for the time of day. The zero value is 30/12/1899 00:00.
//
// Before the zero day the host's convention holds: the whole part counts days backwards and
// the fraction is still the time of day, so -1.25 is 29/12/1899 06:00 (not 28/12 18:00).
// Decoding rounds the value to the millisecond first and only then splits it into date and
// time, so a value a hair below midnight reads as 00:00:00 of the next day rather than as a
// clamped 23:59:59.999 of the day before.
//
// Decoding (date, time, toQDateTime, format, addDays, dateOnly) supports the years 1 to 9999
// and throws std::out_of_range outside them or for a value that is not a finite number.
#include <QDate>
#include <QDateTime>
#include <QString>

#include <compare>

namespace velocast {

class DateTime {
public:
    DateTime() = default;
    static DateTime fromDays(double days) {
        DateTime d;
        d.days_ = days;
        return d;
    }
    // A null or invalid QDate / QDateTime gives the zero value, as an empty date column reads.
    static DateTime fromDate(const QDate& date);
    static DateTime fromQDateTime(const QDateTime& value);
    static DateTime now();

    double days() const { return days_; }
    bool isZero() const { return days_ == 0.0; }
    QDate date() const;
    QTime time() const;
    QDateTime toQDateTime() const;

    // The same calendar day at midnight.
    DateTime dateOnly() const { return fromDate(date()); }
    // The calendar day `count` days later (earlier when negative), at the same time of day.
    DateTime addDays(int count) const;

    // Formats with one of the patterns the program uses: "DD/MM/YYYY", "DD", "MM", "YYYY",
    // "YYYYMM", "HHMMSS" (digits only, zero-padded, independent of the locale). Any other
    // pattern throws std::invalid_argument.
    QString format(const QString& pattern) const;

    friend bool operator==(const DateTime&, const DateTime&) = default;
    // Orders by the stored number, as the host does (exact for values from the zero day on).
    friend std::partial_ordering operator<=>(const DateTime& a, const DateTime& b) { return a.days_ <=> b.days_; }

private:
    double days_ = 0.0;
};

}  // namespace velocast
