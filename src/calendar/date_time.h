#pragma once
// A point in time as the host system stores it: whole days since 30 December 1899 plus the
// fraction of the day for the time of day. The zero value is 30/12/1899 00:00.
#include <QDate>
#include <QDateTime>
#include <QString>

namespace velocast {

class DateTime {
public:
    DateTime() = default;
    static DateTime fromDays(double days) { DateTime d; d.days_ = days; return d; }
    static DateTime fromDate(const QDate& date);
    static DateTime fromQDateTime(const QDateTime& value);
    static DateTime now();

    double days() const { return days_; }
    bool isZero() const { return days_ == 0.0; }
    QDate date() const;
    QTime time() const;
    QDateTime toQDateTime() const;

    // Formats with one of the patterns the program uses: "DD/MM/YYYY", "DD", "MM", "YYYY",
    // "YYYYMM", "HHMMSS". Any other pattern throws std::invalid_argument.
    QString format(const QString& pattern) const;

    friend bool operator==(const DateTime&, const DateTime&) = default;

private:
    double days_ = 0.0;
};

}  // namespace velocast
