#include "shell/commands/history_command.h"

#include <QCoreApplication>
#include <QStringList>

#include "notices/notices.h"
#include "settings/settings.h"
#include "report/csv_field.h"
#include "outbox/sending/sending_setup.h"
#include "state/send_history.h"
#include "state/state_database.h"

namespace velocast {
namespace {

void print(std::FILE* stream, const QString& line) { std::fprintf(stream, "%s\n", line.toUtf8().constData()); }

// Addresses, subjects and replies come from the club's database and from mail servers:
// nothing in them may steer a terminal.
QString plain(const QString& text) { return StderrNotices::escape(text); }

QString orDash(const QString& text) { return text.isEmpty() ? QStringLiteral("-") : plain(text); }

}  // namespace

int runHistory(const HistoryOptions& options, const Settings& settings, std::FILE* out, std::FILE* err) {
    StateDatabase state;
    QString error;
    if (!openStateDatabase(state, settings, options.dataLinkPath, &error)) {
        print(err, QStringLiteral("velocast: error: %1").arg(error));
        return 1;
    }
    pruneSendHistory(state, settings, PruneSteps::All);
    HistoryFilter filter;
    filter.address = options.address;
    if (options.since.isValid()) filter.since = options.since.startOfDay();
    const qint64 retention = settings.historyRetentionDays;
    if (options.csv) print(out, QStringLiteral("time,outcome,address,subject,campaign,message_id,reply"));
    int count = 0;
    const bool read = SendHistory(state).read(
        filter,
        [&](const HistoryEntry& e) {
            ++count;
            const QString time = e.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            if (options.csv) {
                print(out, csvRecord({time, sendOutcomeName(e.outcome), e.address, e.subject, e.campaign, e.messageId,
                                      e.reply}));
                return;
            }
            QString line = QStringLiteral("%1  %2  %3  \"%4\"  %5")
                               .arg(time, sendOutcomeName(e.outcome).leftJustified(8), orDash(e.address),
                                    plain(e.subject), orDash(e.campaign));
            if (!e.messageId.isEmpty()) line += QStringLiteral("  ") + plain(e.messageId);
            if (!e.reply.isEmpty()) line += QStringLiteral("  ") + plain(e.reply);
            print(out, line);
        },
        &error);
    if (!read) {
        print(err, QStringLiteral("velocast: error: %1").arg(error));
        return 1;
    }
    if (!options.csv && count == 0) {
        print(out, QCoreApplication::translate(
                       "HistoryCommand",
                       "No outcome is recorded%1%2 (the history keeps %3 days, [history] retention_days in "
                       "velocast.conf; kept in %4).")
                       .arg(options.address.isEmpty()
                                ? QString()
                                : QCoreApplication::translate("HistoryCommand", " for ") + plain(options.address),
                            options.since.isValid() ? QCoreApplication::translate("HistoryCommand", " since ") +
                                                          options.since.toString(Qt::ISODate)
                                                    : QString())
                       .arg(retention)
                       .arg(state.path()));
    }
    std::fflush(out);
    return 0;
}

}  // namespace velocast
