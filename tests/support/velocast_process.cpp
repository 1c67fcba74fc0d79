#include "support/velocast_process.h"

#include <gtest/gtest.h>

namespace velocast::testing {

ProcessResult runBuiltProgram(const QString& program, const QStringList& arguments, int timeoutMs) {
    const QString dir = qEnvironmentVariable("VELOCAST_BUILD_DIR", QStringLiteral(VELOCAST_DEFAULT_BUILD_DIR));
    ProcessResult result;
    if (dir.isEmpty()) {
        ADD_FAILURE() << "VELOCAST_BUILD_DIR is not set (run through ctest)";
        return result;
    }
    QProcess process;
    process.start(dir + QLatin1Char('/') + program, arguments);
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
