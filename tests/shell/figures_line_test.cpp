#include <QString>
#include <QStringList>
#include <cstdio>
#include <gtest/gtest.h>

#include "notices/log_line.h"
#include "outbox/sending/figures_line.h"
#include "support/qt_printers.h"
#include "support/test_clock.h"

#include <sys/stat.h>

using velocast::Figure;
using velocast::FiguresLine;

namespace {

// The lines written for a sequence of figures, in the order the sender shows them.
QStringList linesFor(std::initializer_list<std::pair<Figure, qint32>> shown) {
    std::FILE* out = std::tmpfile();
    {
        FiguresLine figures(out);
        for (const auto& [figure, value] : shown) figures.show(figure, value);
    }
    std::rewind(out);
    QByteArray text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, out)) text += buffer;
    std::fclose(out);
    return QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

TEST(FiguresLine, OneLinePerChangeAndNoRowBothSentAndPending) {
    const Figure sent = Figure::Sent, pending = Figure::Pending, invalid = Figure::Invalid;
    // A drain of three rows: one invalid, two sent; then a second drain that changes nothing.
    EXPECT_EQ(linesFor({{sent, 0},
                        {pending, 3},
                        {invalid, 1},
                        {sent, 0},
                        {pending, 3},
                        {sent, 1},
                        {pending, 2},
                        {sent, 2},
                        {pending, 1},
                        {sent, 2},
                        {pending, 1}}),
              (QStringList{QStringLiteral("velocast: figures: sent=0 pending=3 invalid=0"),
                           QStringLiteral("velocast: figures: sent=0 pending=3 invalid=1"),
                           QStringLiteral("velocast: figures: sent=1 pending=2 invalid=1"),
                           QStringLiteral("velocast: figures: sent=2 pending=1 invalid=1")}));
    // An empty outbox still shows its figures once, at the start of the first drain.
    EXPECT_EQ(linesFor({{sent, 0}, {pending, 0}, {sent, 0}, {pending, 0}}),
              QStringList{QStringLiteral("velocast: figures: sent=0 pending=0 invalid=0")});
}

namespace {

// Makes `out` the journal's stream for as long as it lives, as systemd would.
struct JournalStream {
    explicit JournalStream(std::FILE* out) {
        struct stat st {};
        ::fstat(::fileno(out), &st);
        qputenv("JOURNAL_STREAM",
                QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino)));
    }
    ~JournalStream() { qunsetenv("JOURNAL_STREAM"); }
};

QStringList linesOf(std::FILE* out) {
    std::fflush(out);
    std::rewind(out);
    QByteArray text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, out)) text += buffer;
    return QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

// A service's journal gets priorities, at most a figures line every 10 s, the last figures at
// the end, and nothing at all for an empty outbox.
TEST(FiguresLine, InTheJournalLinesArePacedAndCarryTheirPriority) {
    velocast::testing::TestClock clock(QDateTime(QDate(2026, 12, 10), QTime(9, 0)));
    std::FILE* out = std::tmpfile();
    JournalStream journal(out);
    {
        FiguresLine empty(out);
        empty.show(Figure::Sent, 0);
        empty.show(Figure::Pending, 0);
    }
    EXPECT_TRUE(linesOf(out).isEmpty());
    {
        FiguresLine figures(out);
        figures.show(Figure::Sent, 0);
        figures.show(Figure::Pending, 3);  // written: the first change
        clock.advance(1);
        figures.show(Figure::Sent, 1);
        figures.show(Figure::Pending, 2);  // held: 1 s after the last line
        clock.advance(10);
        figures.show(Figure::Sent, 2);
        figures.show(Figure::Pending, 1);  // written: 11 s later
        clock.advance(1);
        figures.show(Figure::Sent, 3);
        figures.show(Figure::Pending, 0);  // held, then written at the end
    }
    EXPECT_EQ(linesOf(out), (QStringList{QStringLiteral("<6>velocast: figures: sent=0 pending=3 invalid=0"),
                                         QStringLiteral("<6>velocast: figures: sent=2 pending=1 invalid=0"),
                                         QStringLiteral("<6>velocast: figures: sent=3 pending=0 invalid=0")}));
    std::fclose(out);
}

TEST(LogLine, ErrorsAndWarningsCarryTheirPriorityOnlyInTheJournal) {
    std::FILE* out = std::tmpfile();
    velocast::writeLogLine(velocast::LogPriority::Error, QStringLiteral("velocast: error: x"), out);
    {
        JournalStream journal(out);
        velocast::writeLogLine(velocast::LogPriority::Error, QStringLiteral("velocast: error: y"), out);
        velocast::writeLogLine(velocast::LogPriority::Warning, QStringLiteral("velocast: warning: z"), out);
    }
    // Another stream than the one systemd named gets no prefix: a child that inherited the variable.
    JournalStream elsewhere(stdout);
    velocast::writeLogLine(velocast::LogPriority::Warning, QStringLiteral("velocast: warning: w"), out);
    EXPECT_EQ(linesOf(out),
              (QStringList{QStringLiteral("velocast: error: x"), QStringLiteral("<3>velocast: error: y"),
                           QStringLiteral("<4>velocast: warning: z"), QStringLiteral("velocast: warning: w")}));
    std::fclose(out);
}
