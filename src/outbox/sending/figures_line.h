#pragma once
// Headless, the window's three figures become a line on standard error whenever one changes:
//   velocast: figures: sent=3 pending=0 invalid=1
// In the journal, where a service runs for years, a line per message would bury everything
// else: there the figures are written at most once every 10 seconds while they change (the
// latest always follows, and is written at the end), and an empty outbox writes none.
#include <QDateTime>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdio>

#include "outbox/sending/figure.h"

namespace velocast {

class FiguresLine {
public:
    explicit FiguresLine(std::FILE* out = stderr);
    // Writes the figures still held back.
    ~FiguresLine();
    FiguresLine(const FiguresLine&) = delete;
    FiguresLine& operator=(const FiguresLine&) = delete;

    // The sender shows the sent count and then the pending count for the same moment (a drain
    // beginning, a row sent): a new sent count waits for the pending count that follows it, so
    // that each change is one line and no line shows a row both sent and still pending.
    void show(Figure figure, qint32 value);
    QString line() const;
    qint32 sent() const { return sent_; }
    qint32 pending() const { return pending_; }
    qint32 invalid() const { return invalid_; }

    // The least time between two lines (zero: a line per change). The journal's is 10 s.
    void setMinimumInterval(std::chrono::seconds interval) { interval_ = interval; }

private:
    void write();
    void writeNow();

    std::FILE* out_;
    qint32 sent_ = 0, pending_ = 0, invalid_ = 0;
    bool written_ = false;
    bool sentHeld_ = false;
    std::chrono::seconds interval_{0};
    bool skipEmpty_ = false;  // an empty outbox says nothing
    bool held_ = false;       // a change not yet written
    QDateTime lastWritten_;
    QTimer heldTimer_;
};

// The window's figure format: plain decimal digits, "0" for zero, "-" when negative.
QString formatFigure(qint32 value);

}  // namespace velocast
