// Every test program runs inside a QApplication on the offscreen platform, so that timers,
// nested event loops, SQL drivers and widgets behave as they do in the program.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The programs a test starts keep their single-instance names here, apart from any copy
    // of the program a person or another test program runs at the same time.
    QTemporaryDir runtimeDir;
    qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    // Their state databases (deferred rows, the day's count) as well: never the account's own.
    QTemporaryDir stateDir;
    qputenv("XDG_STATE_HOME", stateDir.path().toLocal8Bit());
    qputenv("LOCALAPPDATA", stateDir.path().toLocal8Bit());  // where Windows keeps them
    qunsetenv("STATE_DIRECTORY");
    // And the desktop's settings that windows keep (their size and place): never the account's.
    QTemporaryDir configDir;
    qputenv("XDG_CONFIG_HOME", configDir.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
