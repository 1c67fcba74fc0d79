#include <QSqlQuery>

#include "campaign_fixture.h"
#include "campaigns/tracamento_prazo.h"
#include "support/qt_printers.h"

using namespace velocast;
using velocast::testing::CampaignFixture;

TEST(TracamentoPrazoSql, SqlServerTextIsTheOneTheClubsServerAlwaysReceived) {
    EXPECT_EQ(TracamentoPrazo::selection().mssql,
              QStringLiteral("SELECT EMAIL,PRAZO_TRANCAMENTO+DIAS_PRAZO_TRANCAMENTO AS LIMTITE FROM ALUNOSATIVOS WHERE "
                             "((NOT EMAIL is NULL) AND (EMAIL <> '') AND (RECEBER_EMAIL = 'Sim')) AND "
                             "(DATA_TRANCAMENTO IS NOT NULL)"));
}

TEST(TracamentoPrazoTest, WarnsWhenTheDeadlineMinusTheDistanceIsTheBusinessDateExactly) {
    auto at = [](int d, int h = 0) { return DateTime::fromQDateTime(QDateTime(QDate(2024, 3, d), QTime(h, 0))); };
    auto column = [](const char* text) { return text ? QVariant(QString::fromLatin1(text)) : QVariant(); };
    struct Case {
        const char* limit;
        QVariant days;
        DateTime business;
        bool warned;
    };
    const Case cases[] = {
        {"2024-03-15 00:00:00", 5, at(10), true},
        {"2024-03-15 00:00:00", 5, at(9), false},
        {"2024-03-15 00:00:00", 5, at(11), false},
        {"2024-03-10 00:00:00", QVariant(), at(10), true},
        {"2024-03-10 00:00:00", 0, at(10), true},
        {"2024-03-15 14:00:00", 5, at(10), false},
        {"2024-03-15 14:00:00", 5, at(10, 14), true},  // the time of day counts both ways
        {nullptr, 0, DateTime(), false},               // no deadline, even on the zero date
    };
    for (const Case& c : cases)
        EXPECT_EQ(TracamentoPrazo::warnsOn(column(c.limit), c.days, c.business), c.warned)
            << (c.limit ? c.limit : "NULL") << " - " << c.days.toString().toStdString() << " days";
}

TEST_F(CampaignFixture, LockDeadlineRemindersWarnLockedMembersTheSetDaysAhead) {
    auto lock = [](const QVariant& prazo, const QVariant& dias, const QVariant& locked = QStringLiteral("2024-02-01")) {
        return QVariantMap{{QStringLiteral("DATA_TRANCAMENTO"), locked},
                           {QStringLiteral("PRAZO_TRANCAMENTO"), prazo},
                           {QStringLiteral("DIAS_PRAZO_TRANCAMENTO"), dias}};
    };
    const QString longAddress = QString(33, QLatin1Char('x')) + QStringLiteral("@example.com");  // 45 characters
    addMember(QStringLiteral("warned@example.com"), lock(QStringLiteral("2024-03-10"), 5));
    addMember(longAddress, lock(QStringLiteral("2024-02-14 00:00:00"), 30));
    addMember(QStringLiteral("later@example.com"), lock(QStringLiteral("2024-03-11"), 5));
    addMember(QStringLiteral("withtime@example.com"), lock(QStringLiteral("2024-03-10 14:00:00"), 5));
    addMember(QStringLiteral("notstarted@example.com"), lock(QStringLiteral("2024-03-10"), 5, QVariant()));
    addMember(QStringLiteral("noprazo@example.com"), lock(QVariant(), 15));
    addMember(QStringLiteral("nodias@example.com"), lock(QStringLiteral("2024-03-15"), QVariant()));
    addMember(QStringLiteral(""), lock(QStringLiteral("2024-03-10"), 5));
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET TRANCAMENTO_DIAS = 5"));

    startOn(QStringLiteral("2024-03-10 00:00:00"));
    TracamentoPrazo deadlines;
    ASSERT_TRUE(runCampaign(deadlines, *session, notices));
    EXPECT_EQ(outbox(), QStringList({QStringLiteral("warned@example.com"), longAddress.left(40)}));
    EXPECT_EQ(host.count(QStringLiteral("ControleEmail"), QStringLiteral("TRANCAMENTO = 1")), 1);
}
