#include "shell/figures_line.h"

#include <cstdio>

namespace velocast {

QString formatFigure(qint32 value) { return QString::number(value); }

QString FiguresLine::line() const {
    return QStringLiteral("velocast: figures: sent=%1 pending=%2 invalid=%3")
        .arg(formatFigure(sent_), formatFigure(pending_), formatFigure(invalid_));
}

void FiguresLine::show(const QString& label, qint32 value) {
    qint32* figure = label == QLatin1String("LBLENVIADOS")    ? &sent_
                     : label == QLatin1String("LBLPENDENTES") ? &pending_
                     : label == QLatin1String("LBLINVALIDOS") ? &invalid_
                                                               : nullptr;
    if (!figure || (written_ && *figure == value)) return;
    *figure = value;
    written_ = true;
    std::fprintf(stderr, "%s\n", line().toUtf8().constData());
    std::fflush(stderr);
}

}  // namespace velocast
