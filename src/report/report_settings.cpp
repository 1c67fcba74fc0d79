#include "report/report_settings.h"

#include <QDir>

#include "mail/mime/address_check.h"
#include "settings/settings.h"

namespace velocast {

QString reportSettingsProblem(const Settings& settings) {
    const QString file = QDir::toNativeSeparators(settings.fileForMessages());
    if (settings.report.to.isEmpty() && settings.report.hourSet)
        return QStringLiteral(
                   "%1: [report] hour is set but [report] to is not; name who gets the daily report, "
                   "or remove the section")
            .arg(file);
    for (const QString& address : settings.report.to) {
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
