#pragma once
// Headless, the window's three figures become a line on standard error whenever one changes:
//   velocast: figures: sent=3 pending=0 invalid=1
#include <QString>

namespace velocast {

class FiguresLine {
public:
    // `label` is LBLENVIADOS, LBLPENDENTES or LBLINVALIDOS.
    void show(const QString& label, qint32 value);
    QString line() const;

private:
    qint32 sent_ = 0, pending_ = 0, invalid_ = 0;
    bool written_ = false;
};

// The window's figure format: plain decimal digits, "0" for zero, "-" when negative.
QString formatFigure(qint32 value);

}  // namespace velocast
