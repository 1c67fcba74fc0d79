#pragma once
// A fixture base: a real SQLite host database and the program's session on it (not yet
// opened), with notices recorded.
#include <QUuid>
#include <gtest/gtest.h>

#include "data/notices.h"
#include "data/session.h"
#include "support/host_database.h"

namespace velocast::testing {

struct SessionTest : ::testing::Test {
    HostDatabase host;
    SharedConnection connection{host.dataLinkPath(), QStringLiteral("session-") + QUuid::createUuid().toString(QUuid::WithoutBraces)};
    RecordingNotices notices;
    Session session{connection, notices};
};

}  // namespace velocast::testing
