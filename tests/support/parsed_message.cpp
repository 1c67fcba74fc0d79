#include "support/parsed_message.h"

#include <QJsonDocument>
#include <QProcess>
#include <gtest/gtest.h>

#include "support/source_tree.h"

namespace velocast::testing {

QJsonObject parsedByPython(const QList<QByteArray>& lines) {
    QByteArray wire;
    for (const QByteArray& line : lines) wire += line + "\r\n";
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {sourceTreePath(QStringLiteral("tests/mail/mime/parse_message.py"))});
    EXPECT_TRUE(python.waitForStarted());
    python.write(wire);
    python.closeWriteChannel();
    EXPECT_TRUE(python.waitForFinished(120000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

}  // namespace velocast::testing
