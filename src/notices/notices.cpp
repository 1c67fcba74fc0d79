#include "notices/notices.h"

#include <QCoreApplication>

#include "notices/log_line.h"

namespace velocast {

QString noticeCaption(const QString& detail) {
    return detail.isEmpty() ? QStringLiteral("Korvana") : QStringLiteral("Velocast");
}

QString noticeMessage(const QString& text, const QString& detail) {
    return detail.isEmpty() ? text : text + QStringLiteral("\n\r") + detail;
}

QString errorReportText(const QString& errorText) {
    if (!errorText.isEmpty() && errorText.back().unicode() <= '.') return errorText;
    return errorText + QLatin1Char('.');
}

QString applicationTitle() {
    const QString name = QCoreApplication::applicationName();
    return name.isEmpty() ? QStringLiteral("Velocast") : name;
}

QString StderrNotices::escape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '\r': out += QStringLiteral("\\r"); break;
        case '\n': out += QStringLiteral("\\n"); break;
        case '\t': out += QStringLiteral("\\t"); break;
        case '\\': out += QStringLiteral("\\\\"); break;
        case '"': out += QStringLiteral("\\\""); break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f)
                out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
            else out += c;
        }
    }
    return out;
}

void StderrNotices::MOSTRA_AVISO(const QString&, const QString& text, const QString& detail) {
    // Every notice the program shows says that something failed.
    writeLogLine(LogPriority::Error, QStringLiteral("velocast: notice: caption=\"%1\" text=\"%2\" detail=\"%3\"")
                                         .arg(escape(noticeCaption(detail)), escape(text), escape(detail)));
}

void StderrNotices::reportError(const QString& errorText) {
    writeLogLine(LogPriority::Error, QStringLiteral("velocast: error: caption=\"%1\" text=\"%2\"")
                                         .arg(escape(applicationTitle()), escape(errorReportText(errorText))));
}

}  // namespace velocast
