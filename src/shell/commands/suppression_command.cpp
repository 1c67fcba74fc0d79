#include "shell/commands/suppression_command.h"

#include <QStringList>
#include <exception>

#include "notices/notices.h"
#include "settings/settings.h"
#include "report/csv_field.h"
#include "outbox/sending/sending_setup.h"
#include "state/state_database.h"
#include "state/suppression_list.h"

namespace velocast {
namespace {

void print(std::FILE* stream, const QString& line) { std::fprintf(stream, "%s\n", line.toUtf8().constData()); }

// Addresses and reasons come from the club's database and from mail servers: nothing in them
// may steer a terminal.
QString plain(const QString& text) { return StderrNotices::escape(text); }

bool open(StateDatabase& state, const QString& dataLinkPath, const Settings& settings, std::FILE* err) {
    QString error;
    if (openStateDatabase(state, settings, dataLinkPath, &error)) return true;
    print(err, QStringLiteral("velocast: error: %1").arg(error));
    return false;
}

}  // namespace

int runSuppressed(const QString& dataLinkPath, bool csv, const Settings& settings, std::FILE* out, std::FILE* err) {
    StateDatabase state;
    if (!open(state, dataLinkPath, settings, err)) return 1;
    if (csv) print(out, QStringLiteral("address,scope,reason,date,source"));
    int count = 0;
    QString error;
    const bool read = SuppressionList(state).list(
        [&](const Suppression& s) {
            ++count;
            const QString date = s.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            if (csv)
                print(out,
                      QStringList{csvField(s.address), csvField(s.scope), csvField(s.reason), date, csvField(s.source)}
                          .join(QLatin1Char(',')));
            else
                print(out, QStringLiteral("%1  %2  %3  %4  %5")
                               .arg(plain(s.address), plain(s.scope), plain(s.reason), date, plain(s.source)));
        },
        &error);
    if (!read) {
        print(err, QStringLiteral("velocast: error: %1").arg(error));
        return 1;
    }
    if (!csv && count == 0)
        print(out, QStringLiteral("No address is suppressed (the list is kept in %1).").arg(state.path()));
    std::fflush(out);
    return 0;
}

int runUnsuppress(const QString& dataLinkPath, const QString& address, const Settings& settings, std::FILE* out,
                  std::FILE* err) {
    StateDatabase state;
    if (!open(state, dataLinkPath, settings, err)) return 1;
    int removed = 0;
    try {
        removed = SuppressionList(state).remove(address);
    } catch (const std::exception& e) {
        print(err, QStringLiteral("velocast: error: %1").arg(QString::fromUtf8(e.what())));
        return 1;
    }
    if (removed == 0) {
        print(err, QStringLiteral("velocast: error: %1 is not on the suppression list; velocast --suppressed lists it")
                       .arg(plain(SuppressionList::normalized(address))));
        return 1;
    }
    print(out, QStringLiteral("%1 taken off the suppression list (%2 entr%3); the next drain sends it again")
                   .arg(plain(SuppressionList::normalized(address)))
                   .arg(removed)
                   .arg(removed == 1 ? QStringLiteral("y") : QStringLiteral("ies")));
    std::fflush(out);
    return 0;
}

}  // namespace velocast
