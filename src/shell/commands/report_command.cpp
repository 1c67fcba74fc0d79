#include "shell/commands/report_command.h"

#include "calendar/clock.h"
#include "settings/settings.h"
#include "report/daily_report.h"
#include "outbox/sending/sending_setup.h"
#include "state/day_outcomes.h"
#include "state/state_database.h"

namespace velocast {

int runReport(const ReportOptions& options, const Settings& settings, std::FILE* out, std::FILE* err) {
    StateDatabase state;
    QString error;
    DayOutcomes day;
    if (!openStateDatabase(state, settings, options.dataLinkPath, &error) ||
        !readDayOutcomes(state, options.date.isValid() ? options.date : localNow().date(), &day, &error)) {
        std::fprintf(err, "velocast: error: %s\n", error.toUtf8().constData());
        return 1;
    }
    const DailyReport report = composeDailyReport({day, {}, {}});
    if (options.csv) {
        for (const QString& line : report.csvLines) std::fprintf(out, "%s\n", line.toUtf8().constData());
    } else {
        std::fprintf(out, "%s", report.text.toUtf8().constData());
    }
    std::fflush(out);
    return 0;
}

}  // namespace velocast
