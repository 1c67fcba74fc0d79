#include <QJsonArray>
#include <QJsonObject>
#include <gtest/gtest.h>

#include "support/aiosmtpd_peer.h"
#include "support/host_database.h"
#include "support/velocast_process.h"

using velocast::mail::testing::AiosmtpdPeer;
using velocast::testing::HostDatabase;
using velocast::testing::runBuiltProgram;

TEST(TestSmtpCommand, SendsOneMessageWithTheStoredAccountAndNeverShowsThePassword) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("clube"), QStringLiteral("Segr3do!"));
    HostDatabase host;
    const auto setPassword = [&](const char* password) {
        host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = 'utUseRequireTLS', USERNAME = 'clube', "
                                 "PASSWORD = :p, EMAIL_PROVEDOR = 'clube@example.com', NOME_PROVEDOR = 'Academia'"),
                  {{QStringLiteral("s"), QStringLiteral("127.0.0.1*%1").arg(server.port())}, {QStringLiteral("p"), QLatin1String(password)}});
    };
    const QStringList args{QStringLiteral("--test-smtp"), QStringLiteral("gerente@example.com"), QStringLiteral("--data-link"), host.dataLinkPath()};

    setPassword("Segr3do!");
    auto result = runBuiltProgram(QStringLiteral("velocast"), args);
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_TRUE(result.out.contains(QLatin1String("C: STARTTLS"))) << result.out.toStdString();
    EXPECT_TRUE(result.out.contains(QLatin1String("****"))) << result.out.toStdString();
    EXPECT_TRUE(result.out.contains(QLatin1String("accepted the test message for gerente@example.com")));
    EXPECT_FALSE((result.out + result.err).contains(QLatin1String("Segr3do!")));
    EXPECT_FALSE((result.out + result.err).contains(QStringLiteral("Segr3do!").toUtf8().toBase64()));
    EXPECT_EQ(server.nextMessage().value(QStringLiteral("to")).toArray().first().toString(), QStringLiteral("gerente@example.com"));

    setPassword("errada");
    result = runBuiltProgram(QStringLiteral("velocast"), args);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.err.contains(QLatin1String("the test message was not sent"))) << result.err.toStdString();
    EXPECT_FALSE((result.out + result.err).contains(QLatin1String("errada")));
}

TEST(TestSmtpCommand, ExplainsASettingWithoutAPort) {
    HostDatabase host;
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = 'smtp.example.com'"));
    const auto result = runBuiltProgram(QStringLiteral("velocast"), {QStringLiteral("--test-smtp"), QStringLiteral("a@example.com"),
                                                                     QStringLiteral("--data-link"), host.dataLinkPath()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(QLatin1String("names no port"))) << result.err.toStdString();
}

TEST(TestSmtpCommand, NamesTheTlsSettingWhenTheModeDoesNotSuitThePort) {
    HostDatabase host;
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*465', IdSMTP_UseTLS = 'utUseExplicitTLS'"));
    const auto result = runBuiltProgram(QStringLiteral("velocast"), {QStringLiteral("--test-smtp"), QStringLiteral("a@example.com"),
                                                                     QStringLiteral("--data-link"), host.dataLinkPath()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(QLatin1String("Set IdSMTP_UseTLS to utUseImplicitTLS for port 465"))) << result.err.toStdString();
}
