#include "shell/commands/report_command.h"

#include "calendar/clock.h"
#include "campaigns/member_of_address.h"
#include "data/shared_connection.h"
#include "outbox/sending/sending_setup.h"
#include "report/daily_report_gathering.h"
#include "settings/settings.h"
#include "state/business_days.h"
#include "state/state_database.h"

namespace velocast {

int runReport(const ReportOptions& options, const Settings& settings, std::FILE* out, std::FILE* err) {
    StateDatabase state;
    QString error;
    if (!openStateDatabase(state, settings, options.dataLinkPath, &error)) {
        std::fprintf(err, "velocast: error: %s\n", error.toUtf8().constData());
        return 1;
    }
    // Counted by business date, as the e-mail is: without --date, the one the program last
    // worked on (today's calendar date before it ever ran).
    const QDate date = options.date.isValid() ? options.date : latestBusinessDay(state).value_or(localNow().date());
    // The members' names come from the club's database when it answers; the report does not
    // need it otherwise, so it is opened only for a day with addresses to name.
    std::unique_ptr<SharedConnection> club;
    const MemberLookup memberOf = [&](const QString& address) -> std::optional<MemberReference> {
        if (!club) {
            club = std::make_unique<SharedConnection>(options.dataLinkPath, QStringLiteral("report"));
            club->readOnly = true;
            try {
                club->open();
            } catch (const std::exception&) {}
        }
        const std::optional<MemberRecord> member = memberOfAddress(*club, address);
        if (!member) return std::nullopt;
        return MemberReference{member->name, member->number};
    };
    DailyReportInput input;
    if (!gatherDailyReport(state, date, memberOf, &input, &error)) {
        std::fprintf(err, "velocast: error: %s\n", error.toUtf8().constData());
        return 1;
    }
    const DailyReport report = composeDailyReport(input);
    if (options.csv) {
        for (const QString& line : report.csvLines) std::fprintf(out, "%s\n", line.toUtf8().constData());
    } else {
        std::fprintf(out, "%s", report.text.toUtf8().constData());
    }
    std::fflush(out);
    return 0;
}

}  // namespace velocast
