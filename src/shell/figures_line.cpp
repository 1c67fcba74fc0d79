#include "shell/figures_line.h"

namespace velocast {

QString formatFigure(qint32 value) { return QString::number(value); }

QString FiguresLine::line() const {
    return QStringLiteral("velocast: figures: sent=%1 pending=%2 invalid=%3")
        .arg(formatFigure(sent_), formatFigure(pending_), formatFigure(invalid_));
}

void FiguresLine::show(Figure figure, qint32 value) {
    qint32& shown = figure == Figure::Sent ? sent_ : figure == Figure::Pending ? pending_ : invalid_;
    const bool changed = !written_ || shown != value;
    shown = value;
    if (figure == Figure::Sent) {
        sentHeld_ = sentHeld_ || changed;
        return;
    }
    if (figure == Figure::Pending && sentHeld_) {
        sentHeld_ = false;
        write();
        return;
    }
    if (changed) write();
}

void FiguresLine::write() {
    written_ = true;
    std::fprintf(out_, "%s\n", line().toUtf8().constData());
    std::fflush(out_);
}

}  // namespace velocast
