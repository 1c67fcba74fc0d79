#include "shell/desktop/outage_line.h"

#include <QCoreApplication>

namespace velocast {

QString outageLine(const ServerOutage& outage, const QDateTime& now) {
    if (!outage.active()) return {};
    const auto when = [&](const QDateTime& at, const QString& sameDayFormat) {
        return at.toString(at.date() == now.date() ? sameDayFormat : QStringLiteral("dd/MM/yyyy HH:mm"));
    };
    const QString server = outage.peer == QLatin1String("SMTP server")
                               ? QCoreApplication::translate("Velocast", "SMTP server %1").arg(outage.server)
                               : QCoreApplication::translate("Velocast", "OAuth token endpoint %1").arg(outage.server);
    QString line = QCoreApplication::translate("Velocast", "%1 unreachable since %2")
                       .arg(server, when(outage.since, QStringLiteral("HH:mm")));
    if (outage.nextTry.isValid())
        line += QCoreApplication::translate("Velocast", "; next try %1")
                    .arg(when(outage.nextTry, QStringLiteral("HH:mm:ss")));
    return line;
}

}  // namespace velocast
