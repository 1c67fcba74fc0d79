#include "shell/report_settings.h"

#include <QDir>

#include "mail/mime/address_check.h"
#include "settings/local_settings.h"

namespace velocast {
namespace {
const QString kSection = QStringLiteral("report");
}

QStringList reportRecipients(const LocalSettings& settings) { return settings.list(kSection, QStringLiteral("to")); }

int reportHour(const LocalSettings& settings) { return int(settings.number(kSection, QStringLiteral("hour"))); }

QString reportSettingsProblem(const LocalSettings& settings) {
    const QString file = QDir::toNativeSeparators(settings.path());
    const QStringList to = reportRecipients(settings);
    if (to.isEmpty() && settings.isSet(kSection, QStringLiteral("hour")))
        return QStringLiteral(
                   "%1: [report] hour is set but [report] to is not; name who gets the daily report, "
                   "or remove the section")
            .arg(file);
    for (const QString& address : to) {
        const QString trimmed = mail::trimControlCharacters(address);
        // Written into the report's RCPT TO and To header: only an address the check passes.
        if (trimmed.isEmpty() || trimmed != address || !mail::ValidaEMail(trimmed) || !trimmed.contains(u'@'))
            return QStringLiteral(
                       "%1: [report] to holds \"%2\", which is no e-mail address; write the addresses "
                       "separated by commas, e.g. to = gerencia@clube.com.br, recepcao@clube.com.br")
                .arg(file, address);
    }
    return {};
}

}  // namespace velocast
