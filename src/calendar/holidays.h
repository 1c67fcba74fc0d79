#pragma once
// The club's holiday list: is the day before the business date a listed holiday?
#include <QString>

#include "calendar/date_time.h"

namespace velocast {

// True when the calendar day before `businessDate`, written "DD/MM", equals one entry of
// `feriados`. The list is the text of the settings column FERIADOS: entries of exactly five
// characters ("DD/MM", leading zeros, "/" as the separator) written one after the other with
// no separator, e.g. "01/0121/0407/0925/12". Entries are compared character by character,
// case-sensitively; an empty or null list answers false; a partial entry left at the end
// (length not a multiple of five) is ignored, and entries in any other shape never match.
//
// `dayNumber` is what the daily run passes (the day of the month minus one on the 2nd and
// 3rd, 1 on the 4th). It takes no part in the answer, which always concerns the day before
// the business date; it is kept so callers keep their shape. Any value is accepted.
//
// Pure: the data layer reads FERIADOS and the business date and passes them in.
bool Acha_Feriado(int dayNumber, const DateTime& businessDate, const QString& feriados);

}  // namespace velocast
