#include "report/daily_report_mail.h"

#include <memory>

#include "calendar/clock.h"
#include "notices/log_line.h"
#include "notices/notices.h"
#include "settings/settings.h"
#include "report/daily_report_gathering.h"
#include "state/report_schedule.h"
#include "state/state_database.h"

namespace velocast {

OutboxSender::OwnMessage dailyReportMessage(const DailyReport& report, const QDate& businessDate,
                                            const QStringList& to) {
    OutboxSender::OwnMessage message;
    message.recipients = to.join(QStringLiteral(", "));
    message.subject = report.subject;
    message.body = report.text;
    // CR LF between records, as spreadsheets read CSV.
    message.attachment = mail::AttachedData{
        QStringLiteral("velocast-relatorio-%1.csv").arg(businessDate.toString(Qt::ISODate)), "text/csv; charset=UTF-8",
        (report.csvLines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8()};
    return message;
}

void sendDailyReports(OutboxSender& sender, const Settings& settings, StateDatabase& state,
                      std::function<std::optional<QDate>()> businessDate, MemberLookup memberOf) {
    const QStringList to = settings.report.to;
    if (to.isEmpty()) return;
    const int hour = settings.report.hour;
    // The date of the report in flight, for the hooks that follow the one that made it.
    auto going = std::make_shared<QDate>();
    // Said once per run: every drain would repeat it.
    auto unreadable = std::make_shared<bool>(false);
    sender.ownMessage = [=, &state](int rowsLeft) -> std::optional<OutboxSender::OwnMessage> {
        // Without its state file a report could not be remembered and would go with every drain.
        if (!state.isOpen()) return std::nullopt;
        const std::optional<QDate> date = businessDate();
        if (!date) return std::nullopt;
        QString error;
        DailyReportInput input;
        try {
            const ReportMoment moment{*date, localNow(), true, rowsLeft, hour};
            if (!reportDue(moment, reportSent(state, *date))) return std::nullopt;
            if (!gatherDailyReport(state, *date, memberOf, &input, &error))
                throw std::runtime_error(error.toStdString());
        } catch (const std::exception& e) {
            if (!*unreadable)
                writeLogLine(LogPriority::Warning,
                             QStringLiteral("velocast: warning: the daily report cannot be made: %1")
                                 .arg(StderrNotices::escape(QString::fromUtf8(e.what()))));
            *unreadable = true;
            return std::nullopt;
        }
        *going = *date;
        return dailyReportMessage(composeDailyReport(input), *date, to);
    };
    sender.ownMessageSent = [=, &state](const mail::ComposedMessage&) {
        writeLogLine(LogPriority::Info, QStringLiteral("velocast: the daily report of %1 went to %2")
                                            .arg(going->toString(Qt::ISODate), to.join(QStringLiteral(", "))));
        try {
            markReportSent(state, *going, localNow());
        } catch (const std::exception& e) {
            writeLogLine(LogPriority::Warning, QStringLiteral("velocast: warning: %1; the report may go once more")
                                                   .arg(StderrNotices::escape(QString::fromUtf8(e.what()))));
        }
    };
    sender.ownMessageKept = [=](const QString& reason) {
        writeLogLine(LogPriority::Warning,
                     QStringLiteral("velocast: warning: the daily report of %1 could not go now (%2); it goes with a "
                                    "later drain")
                         .arg(going->toString(Qt::ISODate), StderrNotices::escape(reason)));
    };
}

}  // namespace velocast
