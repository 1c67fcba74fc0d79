#pragma once
// Runs the built program as a separate process, as a club's server would.
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace velocast::testing {

struct ProcessResult {
    int exitCode = -1;
    QString out;
    QString err;
};

// The path of build/<program>; empty (and the test failed) outside ctest.
QString builtProgramPath(const QString& program);

// The path of tests/support/<script> in the source tree (the test peers written in Python).
QString supportScriptPath(const QString& script);

// Runs build/<program> with the arguments; waits up to `timeoutMs` (a hang fails the test).
ProcessResult runBuiltProgram(const QString& program, const QStringList& arguments, int timeoutMs = 120000,
                              const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
// The same for a program given by its path.
ProcessResult runProgram(const QString& path, const QStringList& arguments, int timeoutMs = 120000,
                         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

}  // namespace velocast::testing
