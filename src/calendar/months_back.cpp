#include "calendar/months_back.h"

#include <stdexcept>
#include <string>

#include "calendar/encode_date_clamped.h"

namespace velocast {

DateTime MonthsBack(std::int32_t months, bool exact, const DateTime& date) {
    if (months < 0) throw std::invalid_argument("MonthsBack: month count " + std::to_string(months) + " is negative");
    const QDate d = date.date();
    int year = d.year() - months / 12;
    int month = d.month() - months % 12;
    if (month <= 0) {
        year -= 1;
        month += 12;
    }
    if (year < 1)
        throw std::out_of_range("MonthsBack: " + std::to_string(months) + " months back from " +
                                date.format("DD/MM/YYYY").toStdString() + " is before the year 1");
    const DateTime result = EncodeDateClamped(static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month),
                                              static_cast<std::uint16_t>(d.day()));
    return exact ? result : result.addDays(1);
}

}  // namespace velocast
