#include "support/recording_notices.h"

namespace velocast {

void RecordingNotices::MOSTRA_AVISO(const QString& kind, const QString& text, const QString& detail) {
    shown.push_back({kind, text, detail});
    if (whileOpen) whileOpen(shown.back());
}

void RecordingNotices::reportError(const QString& errorText) {
    shown.push_back({QStringLiteral("error"), errorReportText(errorText), QString()});
    if (whileOpen) whileOpen(shown.back());
}

}  // namespace velocast
