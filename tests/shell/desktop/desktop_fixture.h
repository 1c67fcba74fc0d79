#pragma once
// One tray program on the test desktop, started once for the tests that follow it in order.
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

#include "support/host_database.h"

namespace velocast::testing {

struct DesktopTest : ::testing::Test {
    static inline QString unavailable;  // why the desktop tests cannot run here

    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    // Starts the program on the desktop.
    static std::unique_ptr<QProcess> startProgram(const QString& path, const QString& dataLink);

    static inline std::unique_ptr<HostDatabase> host;
    static inline std::unique_ptr<QProcess> first;
};

// The window's title as a search pattern.
inline const QString kWindowTitle = QStringLiteral("^Velocast - 2\\.10v$");

}  // namespace velocast::testing
