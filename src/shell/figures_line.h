#pragma once
// Headless, the window's three figures become a line on standard error whenever one changes:
//   velocast: figures: sent=3 pending=0 invalid=1
#include <QString>

#include "outbox/figure.h"

namespace velocast {

class FiguresLine {
public:
    void show(Figure figure, qint32 value);
    QString line() const;

private:
    qint32 sent_ = 0, pending_ = 0, invalid_ = 0;
    bool written_ = false;
};

// The window's figure format: plain decimal digits, "0" for zero, "-" when negative.
QString formatFigure(qint32 value);

}  // namespace velocast
