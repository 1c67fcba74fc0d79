#include "support/velocast_process.h"

#include "support/source_tree.h"

#include <QDir>

#include <gtest/gtest.h>

namespace velocast::testing {

QString supportScriptPath(const QString& script) { return sourceTreePath(QStringLiteral("tests/support/") + script); }

QString builtProgramPath(const QString& program) {
    const QString dir = qEnvironmentVariable("VELOCAST_BUILD_DIR", QStringLiteral(VELOCAST_DEFAULT_BUILD_DIR));
    if (dir.isEmpty()) {
        ADD_FAILURE() << "VELOCAST_BUILD_DIR is not set (run through ctest)";
        return {};
    }
    return dir + QLatin1Char('/') + program;
}

ProcessResult runBuiltProgram(const QString& program, const QStringList& arguments, int timeoutMs,
                              const QProcessEnvironment& environment) {
    const QString path = builtProgramPath(program);
    if (path.isEmpty()) return {};
    return runProgram(path, arguments, timeoutMs, environment);
}

ProcessResult runProgram(const QString& path, const QStringList& arguments, int timeoutMs,
                         const QProcessEnvironment& environment) {
    ProcessResult result;
    const QString program = path;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(path, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << program.toStdString() << " did not finish";
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

}  // namespace velocast::testing
