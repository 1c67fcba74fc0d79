#include "outbox/sending/figures_line.h"

#include "calendar/clock.h"
#include "notices/log_line.h"

namespace velocast {

QString formatFigure(qint32 value) { return QString::number(value); }

FiguresLine::FiguresLine(std::FILE* out) : out_(out) {
    if (writesToJournal(out)) {
        interval_ = std::chrono::seconds(10);
        skipEmpty_ = true;
    }
    heldTimer_.setSingleShot(true);
    QObject::connect(&heldTimer_, &QTimer::timeout, [this] {
        if (held_) writeNow();
    });
}

FiguresLine::~FiguresLine() {
    if (held_) writeNow();
}

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
    if (skipEmpty_ && !written_ && sent_ == 0 && pending_ == 0 && invalid_ == 0) return;
    written_ = true;
    if (interval_.count() > 0 && lastWritten_.isValid()) {
        const qint64 since = lastWritten_.secsTo(localNow());
        if (since >= 0 && since < interval_.count()) {
            held_ = true;
            if (!heldTimer_.isActive()) heldTimer_.start(std::chrono::seconds(interval_.count() - since));
            return;
        }
    }
    writeNow();
}

void FiguresLine::writeNow() {
    written_ = true;
    held_ = false;
    heldTimer_.stop();
    lastWritten_ = localNow();
    writeLogLine(LogPriority::Info, line(), out_);
}

}  // namespace velocast
