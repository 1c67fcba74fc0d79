// The state folder on Windows: Velocast under the account's local application data.
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/account_folders.h"

using namespace velocast;

TEST(StateDirectory, IsVelocastUnderTheAccountsLocalApplicationData) {
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("LOCALAPPDATA");
    qputenv("LOCALAPPDATA", QDir::toNativeSeparators(dir.path()).toLocal8Bit());
    QString error;
    EXPECT_EQ(accountStateDirectory(&error), dir.filePath(QStringLiteral("Velocast"))) << error.toStdString();
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("Velocast"))).exists());
    qputenv("LOCALAPPDATA", "");
    EXPECT_TRUE(accountStateDirectory(&error).isEmpty());
    EXPECT_TRUE(error.contains(QStringLiteral("[state] database"))) << error.toStdString();
    qputenv("LOCALAPPDATA", saved);
}
