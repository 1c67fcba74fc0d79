#include "shell/commands/preview_command.h"

#include <QCoreApplication>
#include <QStringList>

#include "campaigns/campaign_preview.h"
#include "campaigns/campaign_table.h"
#include "data/db_error.h"
#include "notices/notices.h"
#include "data/session.h"
#include "data/shared_connection.h"
#include "report/csv_field.h"
#include "campaigns/daily_run.h"

namespace velocast {
namespace {

void print(std::FILE* stream, const QString& line) { std::fprintf(stream, "%s\n", line.toUtf8().constData()); }

// Addresses and subjects come from the club's database: nothing in them may steer a terminal.
QString plain(const QString& text) { return StderrNotices::escape(text); }

}  // namespace

int runPreview(const PreviewOptions& options, std::FILE* out, std::FILE* err) {
    StderrNotices notices;
    try {
        SharedConnection connection(options.dataLinkPath, QStringLiteral("preview"));
        connection.open();
        Session session(connection, notices);
        if (!session.ABRE_TABELAS()) {
            print(
                err,
                QStringLiteral(
                    "velocast: the preview stopped: the database's tables could not be opened (see the notice above)"));
            return 1;
        }
        if (options.date.isValid()) session.setBusinessDate(DateTime::fromDate(options.date));
        if (session.businessDate().isZero()) {
            session.teardown();
            print(err, QStringLiteral(
                           "velocast: there is no cash-register session (table Caixa has no opening date), so there "
                           "is no business date; open the cash register or give --date YYYY-MM-DD"));
            return 1;
        }
        const QString day = session.businessDate().date().toString(Qt::ISODate);
        if (options.csv) print(out, QStringLiteral("campaign,switch,address,member,subject"));
        else
            print(out, QCoreApplication::translate(
                           "PreviewCommand", "Preview for the business date %1: nothing is written, latched or sent.")
                           .arg(day));

        int failures = 0;
        for (const CampaignStep& campaign : campaignTable()) {
            const CampaignColumns& columns = campaign->columns();
            const bool on = campaignSwitchIsOn(session, columns.switchColumn);
            const QString name = columns.controlFlag;
            if (!on && !options.all) {
                if (!options.csv)
                    print(out, QCoreApplication::translate(
                                   "PreviewCommand", "%1: switched off (%2 is not \"Sim\"; --all shows it anyway)")
                                   .arg(name, columns.switchColumn));
                continue;
            }
            QStringList lines;
            QString subject;
            int count = 0;
            PreviewOutcome outcome;
            try {
                outcome = previewCampaign(*campaign, session, [&](const PreviewRow& row) {
                    ++count;
                    subject = row.subject;
                    if (options.csv)
                        lines << csvRecord({name, on ? QStringLiteral("on") : QStringLiteral("off"), row.address,
                                            row.member, row.subject});
                    else
                        lines << QStringLiteral("  %1%2").arg(
                            plain(row.address),
                            row.member.isEmpty() ? QString() : QStringLiteral("  (member %1)").arg(plain(row.member)));
                });
            } catch (const std::exception& e) {
                ++failures;
                print(err, QStringLiteral("velocast: the campaign %1 failed in the preview: %2")
                               .arg(name, QString::fromUtf8(e.what())));
                continue;
            }
            if (options.csv) {
                for (const QString& line : lines) print(out, line);
                continue;
            }
            const QString off = on ? QString() : QCoreApplication::translate("PreviewCommand", " [switched off]");
            switch (outcome) {
            case PreviewOutcome::NotDue:
                print(out, QCoreApplication::translate("PreviewCommand", "%1%2: not due on %3").arg(name, off, day));
                break;
            case PreviewOutcome::AlreadyRan:
                print(out, QCoreApplication::translate("PreviewCommand",
                                                       "%1%2: already ran for %3; the next run writes nothing")
                               .arg(name, off, day));
                break;
            case PreviewOutcome::Listed:
                print(out, count == 0
                               ? QCoreApplication::translate("PreviewCommand", "%1%2: nobody").arg(name, off)
                               : QCoreApplication::translate("PreviewCommand", "%1%2: %3 e-mail(s), subject \"%4\"")
                                     .arg(name, off)
                                     .arg(count)
                                     .arg(plain(subject)));
                for (const QString& line : lines) print(out, line);
                break;
            }
        }
        session.teardown();
        std::fflush(out);
        return failures == 0 ? 0 : 1;
    } catch (const DbError& e) {
        print(err, QStringLiteral("velocast: error: %1").arg(e.message()));
        return 1;
    }
}

}  // namespace velocast
