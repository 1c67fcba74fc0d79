// The demo club database gives each campaign recipients on its business date, whatever the
// date: what the demo relies on to send at least one e-mail of each.
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "campaigns/campaign_table.h"
#include "notices/notices.h"
#include "support/recording_notices.h"
#include "data/session.h"
#include "seed/demo_database.h"

using namespace velocast;

TEST(DemoClub, EveryCampaignFindsRecipientsOnTheBusinessDate) {
    // A leap day, a month's 31st, a year's end, a plain day early in the month, a month's first
    // day and the day after a holiday (the loyalty days).
    for (const char* date : {"2024-02-29", "2024-03-31", "2024-12-26", "2025-01-10", "2024-04-01", "2025-05-02"}) {
        QTemporaryDir dir;
        seed::DemoOptions options;
        options.path = dir.filePath(QStringLiteral("club.sqlite"));
        options.date = QDate::fromString(QLatin1String(date), Qt::ISODate);
        QString error;
        ASSERT_TRUE(seed::writeDemoDatabase(options, &error)) << error.toStdString();

        SharedConnection connection(seed::demoFiles(options.path).dataLink, QStringLiteral("demo-club"));
        connection.open();
        RecordingNotices notices;
        Session session(connection, notices);
        ASSERT_TRUE(session.ABRE_TABELAS());
        auto outboxRows = [&] {
            QSqlQuery q(connection.database());
            q.exec(QStringLiteral("SELECT COUNT(*) FROM Velocast"));
            return q.next() ? q.value(0).toInt() : -1;
        };
        for (const CampaignStep& campaign : campaignTable()) {
            const int before = outboxRows();
            ASSERT_TRUE(runCampaign(*campaign, session, notices));
            const bool due = campaign->isDue(session);
            EXPECT_EQ(outboxRows() > before, due) << date << " " << campaign->columns().controlFlag.toStdString();
        }
        session.teardown();
    }
}
