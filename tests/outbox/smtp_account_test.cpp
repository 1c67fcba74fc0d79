#include <gtest/gtest.h>

#include "mail/smtp/smtp_client.h"
#include "outbox/sending/smtp_account.h"

using namespace velocast;
using mail::SmtpAuthentication;
using mail::SmtpClient;
using mail::TlsMode;

TEST(SmtpSettings, HostAndPortAreReadAsTheSettingsAlwaysWereWritten) {
    struct Case {
        const char* server;
        const char* host;
        int port;
    };  // port -1: cannot be read
    const Case cases[] = {
        {"smtp.example.com*587", "smtp.example.com", 587},
        {"  smtp.example.com \t*  465", "smtp.example.com", 465},  // blanks before the number are skipped
        {"smtp.example.com*587 ", "smtp.example.com", -1},         // but not after it
        {"smtp.example.com*", "smtp.example.com", -1},
        {"smtp.example.com", "", -1},  // no "*": the whole text is the port
        {"2525", "", 2525},
        {"h*+25", "h", 25},
        {"h*-1", "h", 65535},  // kept modulo 65536
        {"h*65561", "h", 25},
        {"h*$1F90", "h", 8080},
        {"h*0x1f90", "h", 8080},
        {"h*2147483648", "h", -1},  // beyond 32 bits
        {"h*25*26", "h", -1},
        {"h*5x", "h", -1},
    };
    for (const Case& c : cases) {
        const QString server = QLatin1String(c.server);
        EXPECT_EQ(smtpHost(server), QLatin1String(c.host)) << c.server;
        const auto port = smtpPort(server);
        if (c.port < 0) EXPECT_FALSE(port.has_value()) << c.server;
        else EXPECT_EQ(port.value_or(0), c.port) << c.server;
    }
}

// A mode the client does not know, empty included, must not leave the password to whatever
// the server offers: required TLS, and a warning that names the value.
TEST(SmtpSettings, TlsModeNamesAreReadExactly) {
    EXPECT_EQ(tlsModeFromSettingName("utNoTLSSupport"), TlsMode::None);
    EXPECT_EQ(tlsModeFromSettingName("utUseImplicitTLS"), TlsMode::Implicit);
    EXPECT_EQ(tlsModeFromSettingName("utUseRequireTLS"), TlsMode::Required);
    EXPECT_EQ(tlsModeFromSettingName("utUseExplicitTLS"), TlsMode::Explicit);
    for (const char* other : {"", "utUseExplicitTLS ", "utuseexplicittls", "utUseRequiredTLS"})
        EXPECT_EQ(tlsModeFromSettingName(other), std::nullopt) << other;
}

TEST(SmtpSettings, AnUnknownTlsModeMeansRequiredTlsWithAWarning) {
    for (const char* name : {"", "utUseExplicitTLs", "utUseExplicitTLS\n"}) {
        SmtpClient client;
        client.setTlsMode(TlsMode::None);
        QStringList warnings;
        client.setWarningObserver([&](const QString& text) { warnings << text; });
        SmtpAccount account;
        account.server = QStringLiteral("smtp.club.example*587");
        account.tlsModeName = QLatin1String(name);
        ASSERT_TRUE(configureClient(client, account));
        EXPECT_EQ(client.tlsMode(), TlsMode::Required) << name;
        ASSERT_EQ(warnings.size(), 1);
        EXPECT_TRUE(
            warnings[0].startsWith(QStringLiteral("IdSMTP_UseTLS \"%1\" is not a TLS mode; using utUseRequireTLS")
                                       .arg(QString(QLatin1String(name)).replace('\n', "\\x0A"))))
            << warnings[0].toStdString();
    }
    SmtpClient client;
    configureClient(client, {QStringLiteral("h*25"), {}, {}, false, {}, {}, QStringLiteral("utNoTLSSupport")});
    EXPECT_EQ(client.tlsMode(), TlsMode::None);
}

// USERNAME NULL or empty both mean no AUTH; only the empty one is worth a word, since it
// looks like a name that was meant to be there.
TEST(SmtpAccount, AnEmptyUserNameMeansNoAuthenticationAndSaysSo) {
    struct Case {
        bool notNull;
        const char* user;
        SmtpAuthentication expected;
        bool warned;
    };
    const Case cases[] = {
        {false, "", SmtpAuthentication::None, false},
        {true, "", SmtpAuthentication::None, true},
        {true, " \t", SmtpAuthentication::None, true},
        {true, "clube", SmtpAuthentication::Sasl, false},
    };
    for (const Case& c : cases) {
        SmtpClient client;
        QStringList warnings;
        client.setWarningObserver([&](const QString& text) { warnings << text; });
        SmtpAccount account;
        account.server = QStringLiteral("smtp.club.example*587");
        account.tlsModeName = QStringLiteral("utUseRequireTLS");
        account.authenticate = c.notNull;
        account.userName = QLatin1String(c.user);
        ASSERT_TRUE(configureClient(client, account));
        EXPECT_EQ(client.authentication(), c.expected) << '"' << c.user << '"';
        EXPECT_EQ(!warnings.isEmpty() && warnings[0].startsWith(QLatin1String("USERNAME is empty")), c.warned)
            << warnings.join('|').toStdString();
    }
}
