#include "support/posix_mode.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace velocast::testing {

std::optional<unsigned> posixMode(const QString& path) {
    EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    return std::nullopt;
}

}  // namespace velocast::testing
