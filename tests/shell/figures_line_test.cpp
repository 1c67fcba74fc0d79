#include <QString>
#include <QStringList>
#include <cstdio>
#include <gtest/gtest.h>

#include "shell/figures_line.h"

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
    EXPECT_EQ(linesFor({{sent, 0}, {pending, 3},
                        {invalid, 1}, {sent, 0}, {pending, 3},
                        {sent, 1}, {pending, 2},
                        {sent, 2}, {pending, 1},
                        {sent, 2}, {pending, 1}}),
              (QStringList{QStringLiteral("velocast: figures: sent=0 pending=3 invalid=0"),
                           QStringLiteral("velocast: figures: sent=0 pending=3 invalid=1"),
                           QStringLiteral("velocast: figures: sent=1 pending=2 invalid=1"),
                           QStringLiteral("velocast: figures: sent=2 pending=1 invalid=1")}));
    // An empty outbox still shows its figures once, at the start of the first drain.
    EXPECT_EQ(linesFor({{sent, 0}, {pending, 0}, {sent, 0}, {pending, 0}}),
              QStringList{QStringLiteral("velocast: figures: sent=0 pending=0 invalid=0")});
}
