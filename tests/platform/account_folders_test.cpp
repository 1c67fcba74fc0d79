// The state folder on POSIX systems: the service manager's, else the XDG one, made private.
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/account_folders.h"
#include "support/posix_mode.h"

using namespace velocast;

TEST(StateDirectory, IsMadePrivateToTheAccount) {
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("state"));
    qputenv("STATE_DIRECTORY", QFile::encodeName(state + QStringLiteral(":/elsewhere")));
    QString error;
    EXPECT_EQ(accountStateDirectory(&error), state) << error.toStdString();
    qunsetenv("STATE_DIRECTORY");
    if (const auto mode = velocast::testing::posixMode(state)) {
        EXPECT_EQ(*mode, 0700u);
    }
}
