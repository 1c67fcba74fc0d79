#pragma once
// Runs the built program as a separate process, as a club's server would.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace velocast::testing {

struct ProcessResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// The path of build/<program>; empty (and the test failed) when the build folder is unknown.
QString builtProgramPath(const QString& program);

// Runs build/<program> with the arguments; waits up to `timeoutMs` (a hang fails the test).
ProcessResult runBuiltProgram(const QString& program, const QStringList& arguments, int timeoutMs = 120000);

}  // namespace velocast::testing
