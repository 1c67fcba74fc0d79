#pragma once
// A session on a fresh host database, opened, on a fixed business day.
#include <QDateTime>
#include <vector>

#include "support/session_test.h"

struct SessionFixture : velocast::testing::SessionTest {
    void SetUp() override {
        connection.open();
        clock.set(QDateTime(QDate(2024, 5, 20), QTime(7, 5, 9)));
    }
    std::vector<QString> details() const {
        std::vector<QString> out;
        for (const auto& n : notices.shown) out.push_back(n.text + QLatin1Char('/') + n.detail);
        return out;
    }
};
