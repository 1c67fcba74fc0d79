#include "support/posix_mode.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace velocast::testing {

std::optional<unsigned> posixMode(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return static_cast<unsigned>(st.st_mode & 0777);
}

}  // namespace velocast::testing
