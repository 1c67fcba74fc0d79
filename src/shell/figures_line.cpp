#include "shell/figures_line.h"

#include <cstdio>

namespace velocast {

QString formatFigure(qint32 value) { return QString::number(value); }

QString FiguresLine::line() const {
    return QStringLiteral("velocast: figures: sent=%1 pending=%2 invalid=%3")
        .arg(formatFigure(sent_), formatFigure(pending_), formatFigure(invalid_));
}

void FiguresLine::show(Figure figure, qint32 value) {
    qint32& shown = figure == Figure::Sent ? sent_ : figure == Figure::Pending ? pending_ : invalid_;
    if (written_ && shown == value) return;
    shown = value;
    written_ = true;
    std::fprintf(stderr, "%s\n", line().toUtf8().constData());
    std::fflush(stderr);
}

}  // namespace velocast
