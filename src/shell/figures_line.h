#pragma once
// Headless, the window's three figures become a line on standard error whenever one changes:
//   velocast: figures: sent=3 pending=0 invalid=1
#include <QString>
#include <cstdio>

#include "outbox/sending/figure.h"

namespace velocast {

class FiguresLine {
public:
    explicit FiguresLine(std::FILE* out = stderr) : out_(out) {}
    // The sender shows the sent count and then the pending count for the same moment (a drain
    // beginning, a row sent): a new sent count waits for the pending count that follows it, so
    // that each change is one line and no line shows a row both sent and still pending.
    void show(Figure figure, qint32 value);
    QString line() const;

private:
    void write();

    std::FILE* out_;
    qint32 sent_ = 0, pending_ = 0, invalid_ = 0;
    bool written_ = false;
    bool sentHeld_ = false;
};

// The window's figure format: plain decimal digits, "0" for zero, "-" when negative.
QString formatFigure(qint32 value);

}  // namespace velocast
