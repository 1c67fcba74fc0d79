#include "calendar/holidays.h"

namespace velocast {

bool Acha_Feriado(int /*dayNumber*/, const DateTime& businessDate, const QString& feriados) {
    constexpr qsizetype kEntryLength = 5;
    if (feriados.isEmpty()) return false;
    const DateTime dayBefore = businessDate.addDays(-1);
    const QString tested = dayBefore.format(QStringLiteral("DD")) + u'/' + dayBefore.format(QStringLiteral("MM"));
    const qsizetype entries = feriados.size() / kEntryLength;
    for (qsizetype k = 0; k < entries; ++k) {
        if (QStringView(feriados).mid(k * kEntryLength, kEntryLength) == tested) return true;
    }
    return false;
}

}  // namespace velocast
