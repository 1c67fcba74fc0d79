#include <QApplication>
#include <QTextStream>
#include <cstdio>

#include "shell/command_line.h"

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    QString error;
    const auto options = velocast::parseCommandLine(args, &error);
    if (!options) {
        std::fprintf(stderr, "velocast: %s\n", qPrintable(error));
        return 2;
    }
    if (options->showHelp) {
        std::fputs(qPrintable(velocast::commandLineHelp().arg(QStringLiteral("~/.config/velocast/Korvana.udl"))), stdout);
        return 0;
    }
    return 0;
}
