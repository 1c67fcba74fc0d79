// velocast-seed: writes the demo club database. See seed/seed_command.cpp for the options.
#include "seed/seed_command.h"

#include <QCoreApplication>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return velocast::seed::runSeedCommand(app.arguments().mid(1), out, err, ::isatty(STDERR_FILENO) == 1);
}
