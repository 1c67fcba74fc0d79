#pragma once
// A fixture base: a real SQLite host database and the program's session on it (not yet
// opened), with notices recorded and the clock held at 20 May 2024 09:30:00 -03:00.
#include <QTimeZone>
#include <QUuid>
#include <gtest/gtest.h>

#include "notices/notices.h"
#include "support/recording_notices.h"
#include "data/session.h"
#include "support/host_database.h"
#include "support/test_clock.h"

namespace velocast::testing {

struct SessionTest : ::testing::Test {
    TestClock clock{QDateTime(QDate(2024, 5, 20), QTime(9, 30), QTimeZone(-3 * 3600))};
    HostDatabase host;
    SharedConnection connection{host.dataLinkPath(),
                                QStringLiteral("session-") + QUuid::createUuid().toString(QUuid::WithoutBraces)};
    RecordingNotices notices;
    Session session{connection, notices};
};

}  // namespace velocast::testing
