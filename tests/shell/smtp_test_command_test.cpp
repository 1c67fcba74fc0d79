#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QRegularExpression>
#include <QJsonObject>
#include <gtest/gtest.h>

#include "support/aiosmtpd_peer.h"
#include "support/host_database.h"
#include "support/test_certificate.h"
#include "support/velocast_process.h"

using velocast::mail::testing::AiosmtpdPeer;
using velocast::testing::HostDatabase;
using velocast::testing::runBuiltProgram;

TEST(TestSmtpCommand, SendsOneMessageWithTheStoredAccountAndNeverShowsThePassword) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::StartTls, QStringLiteral("clube"), QStringLiteral("Segr3do!"));
    HostDatabase host;
    const auto setPassword = [&](const char* password) {
        host.exec(QStringLiteral(
                      "UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = 'utUseRequireTLS', USERNAME = 'clube', "
                      "PASSWORD = :p, EMAIL_PROVEDOR = 'clube@example.com', NOME_PROVEDOR = 'Academia'"),
                  {{QStringLiteral("s"), QStringLiteral("127.0.0.1*%1").arg(server.port())},
                   {QStringLiteral("p"), QLatin1String(password)}});
    };
    const QStringList args{QStringLiteral("--test-smtp"), QStringLiteral("gerente@example.com"),
                           QStringLiteral("--data-link"), host.dataLinkPath()};
    velocast::mail::testing::writeSettingsTrustingTestCa(
        QFileInfo(host.dataLinkPath()).dir().filePath(QStringLiteral("velocast.conf")));

    setPassword("Segr3do!");
    auto result = runBuiltProgram(QStringLiteral("velocast"), args);
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_TRUE(result.out.contains(QLatin1String("C: STARTTLS"))) << result.out.toStdString();
    EXPECT_TRUE(result.out.contains(QLatin1String("****"))) << result.out.toStdString();
    EXPECT_TRUE(result.out.contains(QLatin1String("accepted the test message for gerente@example.com")));
    EXPECT_TRUE(
        result.out.contains(QLatin1String("* verification: verified: issued for 127.0.0.1 by a trusted authority")))
        << result.out.toStdString();
    EXPECT_FALSE((result.out + result.err).contains(QLatin1String("Segr3do!")));
    EXPECT_FALSE((result.out + result.err).contains(QStringLiteral("Segr3do!").toUtf8().toBase64()));
    EXPECT_EQ(server.nextMessage().value(QStringLiteral("to")).toArray().first().toString(),
              QStringLiteral("gerente@example.com"));

    setPassword("errada");
    result = runBuiltProgram(QStringLiteral("velocast"), args);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_TRUE(result.err.contains(QLatin1String("the test message was not sent"))) << result.err.toStdString();
    EXPECT_FALSE((result.out + result.err).contains(QLatin1String("errada")));
}

// A server the client cannot verify: --test-smtp shows the chain, why it was refused and
// the lines that pin it; pasted into velocast.conf, they let the next test through.
TEST(TestSmtpCommand, ShowsTheCertificateAndAPinLineThatMakesAnUnverifiableServerUsable) {
    AiosmtpdPeer server(AiosmtpdPeer::Mode::Implicit, QStringLiteral("clube"), QStringLiteral("test"), {}, {},
                        {QStringLiteral("wrong.example")});
    HostDatabase host;
    host.exec(
        QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = 'utUseImplicitTLS', USERNAME = 'clube', "
                       "PASSWORD = 'test', EMAIL_PROVEDOR = 'clube@example.com'"),
        {{QStringLiteral("s"), QStringLiteral("127.0.0.1*%1").arg(server.port())}});
    const QString conf = QFileInfo(host.dataLinkPath()).dir().filePath(QStringLiteral("velocast.conf"));
    velocast::mail::testing::writeSettingsTrustingTestCa(conf);
    const QStringList args{QStringLiteral("--test-smtp"), QStringLiteral("gerente@example.com"),
                           QStringLiteral("--data-link"), host.dataLinkPath()};

    auto result = runBuiltProgram(QStringLiteral("velocast"), args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.contains(QLatin1String("*   0: CN=wrong.example, issued by CN=Velocast Test CA, valid ")))
        << result.out.toStdString();
    EXPECT_TRUE(
        result.out.contains(QLatin1String("* verification: refused: certificate for wrong.example, not 127.0.0.1")))
        << result.out.toStdString();
    EXPECT_TRUE(result.err.contains(QLatin1String("certificate for wrong.example, not 127.0.0.1")))
        << result.err.toStdString();
    const QStringList pinLines =
        result.out.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^pin = sha256/")));
    ASSERT_EQ(pinLines.size(), 1) << result.out.toStdString();

    velocast::mail::testing::writeSettingsTrustingTestCa(conf, QStringLiteral("verify = pin\n") + pinLines[0]);
    result = runBuiltProgram(QStringLiteral("velocast"), args);
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_TRUE(
        result.out.contains(QLatin1String("* verification: accepted: the server's key is one of the [tls] pin keys")));
    EXPECT_EQ(server.nextMessage().value(QStringLiteral("to")).toArray().first().toString(),
              QStringLiteral("gerente@example.com"));
    // "test" is the password: masked as a word, never inside the server's "test.local"-like text.
    EXPECT_FALSE(result.out.contains(QLatin1String("AUTH PLAIN AGNsdWJlAHRlc3Q=")));

    // A pin that is not one is refused before anything runs.
    velocast::mail::testing::writeSettingsTrustingTestCa(conf, QStringLiteral("verify = pin\npin = sha256/abc"));
    result = runBuiltProgram(QStringLiteral("velocast"), args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.err.contains(QLatin1String("[tls] pin = sha256/abc is not a key pin")))
        << result.err.toStdString();
}

namespace {

// `velocast --test-smtp ADDRESS` on the club of `host`.
auto testSmtpTo(const QString& address, const HostDatabase& host) {
    return runBuiltProgram(QStringLiteral("velocast"), {QStringLiteral("--test-smtp"), address,
                                                        QStringLiteral("--data-link"), host.dataLinkPath()});
}

}  // namespace

TEST(TestSmtpCommand, ExplainsASettingWithoutAPort) {
    HostDatabase host;
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = 'smtp.example.com'"));
    const auto result = testSmtpTo(QStringLiteral("a@example.com"), host);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(QLatin1String("names no port"))) << result.err.toStdString();
}

TEST(TestSmtpCommand, NamesTheTlsSettingWhenTheModeDoesNotSuitThePort) {
    HostDatabase host;
    host.exec(QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = '127.0.0.1*465', IdSMTP_UseTLS = 'utUseExplicitTLS'"));
    const auto result = testSmtpTo(QStringLiteral("a@example.com"), host);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains(QLatin1String("Set IdSMTP_UseTLS to utUseImplicitTLS for port 465")))
        << result.err.toStdString();
}
