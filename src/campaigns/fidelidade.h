#pragma once
// Loyalty messages: active members who paid in each of the last N months (FIDELIDADE_MESES).
// The program walks the members and looks their payments up month by month (on SQLite a batch
// of members at a time), writes the loyal members' registration numbers into the run table,
// and selects the recipients by joining it.
#include <QString>
#include <QStringList>
#include <optional>

#include "calendar/calendar_month.h"
#include "campaigns/campaign.h"

namespace velocast {

class Fidelidade : public Campaign {
public:
    const CampaignColumns& columns() const override;
    // Only on the loyalty days: the 1st, or the 2nd to the 4th after a listed holiday.
    bool isDue(const Session& session) const override;
    void fill(CampaignRun& run) override;

    // The year and month of one lookup.
    using Month = CalendarMonth;
    // The `count` calendar months before the business month, oldest first.
    static QList<Month> monthsExamined(const DateTime& businessDate, int count) {
        return monthsBefore(businessDate, count);
    }

    // A registration number as a decimal integer literal (optional sign, digits; the blanks of
    // a fixed-width column around it dropped), or nothing when it is not one. Nothing else may
    // reach the lookup's text.
    static std::optional<QString> integerLiteral(const QString& matricula);

    // The payment lookup of one member and month, compared as numbers so that 00123 finds the
    // payments of 123; nothing when the registration number is no integer.
    static std::optional<SqlText> paymentLookup(const QString& matricula, const Month& month);

    // The recipients: loyal members (in the run table) with an address, consent and no plan.
    static SqlText selection(const QString& runTable);

    // The notice details of its own steps.
    static const QString kDatabaseDetail;  // emptying the run table, the member walk, a lookup
    static const QString kRunTableDetail;  // writing a loyal member into the run table

private:
    Dataset QRYFEDELIDADE{QStringLiteral("QRYFEDELIDADE")};
};

}  // namespace velocast
