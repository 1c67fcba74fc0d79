#pragma once
// The velocast-seed command line, apart from main() so that tests can run it.
#include <QStringList>
#include <QTextStream>

namespace velocast::seed {

// Exit status: 0 written, 1 failed, 2 bad command line.
// `errIsTerminal`: progress on a large club is one line redrawn in place; otherwise a plain
// line every tenth of the members.
int runSeedCommand(const QStringList& arguments, QTextStream& out, QTextStream& err, bool errIsTerminal = false);

}  // namespace velocast::seed
