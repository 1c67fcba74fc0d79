// A TLS mode that does not suit the server fails at once, or within the greeting's wait, with
// a line that names the setting to change, instead of looking hung.
#include "mail/smtp/smtp_client.h"
#include "support/smtp_scripted_server.h"
#include "smtp_test_session.h"

#include <gtest/gtest.h>

using namespace velocast::mail;
using namespace velocast::mail::testing;
using S = ScriptedSmtpServer;

namespace {

std::vector<S::Step> join(std::initializer_list<std::vector<S::Step>> parts) {
    std::vector<S::Step> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

SmtpError sessionError(SmtpClient& client) {
    try {
        client.connect();
        client.send(testMessage());
    } catch (const SmtpError& error) {
        return error;
    }
    ADD_FAILURE() << "no failure";
    return SmtpError({});
}

}  // namespace

TEST(TlsModeHint, AWrongModeFailsNamingTheSettingToChange) {
    struct Case {
        const char* name;
        TlsMode mode;
        std::vector<S::Step> script;
        SmtpStep step;
        const char* hint;
    };
    const std::string tlsRecord("\x16\x03\x03\x00\x2a\x02\x00\x00\x26\x03\x03", 11);
    const std::vector<Case> cases{
        {"TLS bytes instead of a greeting",
         TlsMode::Explicit,
         {S::sayRaw(tlsRecord), S::awaitClose()},
         SmtpStep::Greeting,
         "The server answered with TLS instead of a greeting: set IdSMTP_UseTLS to utUseImplicitTLS"},
        {"no greeting at all",
         TlsMode::None,
         {S::awaitClose()},
         SmtpStep::Greeting,
         "if this is one, set IdSMTP_UseTLS to utUseImplicitTLS."},
        {"STARTTLS demanded of a plain session", TlsMode::None,
         join({{S::say("220 mx ready")},
               reply("250 mx"),
               reply("530 5.7.0 Must issue a STARTTLS command first"),
               {S::awaitClose()}}),
         SmtpStep::Mail, "The server takes mail only after STARTTLS: set IdSMTP_UseTLS to utUseExplicitTLS."},
        {"implicit TLS on a plain server",
         TlsMode::Implicit,
         {S::say("220 mx ready"), S::awaitClose()},
         SmtpStep::Connect,
         "If the server greets in plain text first (ports 25 and 587), set IdSMTP_UseTLS to utUseExplicitTLS."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        S server(c.script);
        TestSession session(server.port(), c.mode, 300);
        const SmtpError error = sessionError(session.client);
        EXPECT_TRUE(error.message().contains(QLatin1String(c.hint))) << error.message().toStdString();
        EXPECT_EQ(error.step(), c.step);
        // A refused MAIL FROM leaves the session to the caller; every other case closed it.
        if (c.step != SmtpStep::Mail) {
            EXPECT_FALSE(session.client.isConnected());
        }
    }
}

TEST(TlsModeHint, Port465WithoutImplicitTlsFailsBeforeConnecting) {
    for (TlsMode mode : {TlsMode::None, TlsMode::Explicit, TlsMode::Required}) {
        TestSession session(465, mode);
        session.client.setHost(QStringLiteral("192.0.2.1"));  // never reached: nothing answers there
        SmtpError error({});
        try {
            session.client.connect();
            ADD_FAILURE() << "connected";
        } catch (const SmtpError& raised) {
            error = raised;
        }
        EXPECT_EQ(error.stage(), SmtpStage::Connecting);
        EXPECT_EQ(error.message(), QStringLiteral("Port 465 takes TLS from the first byte, but IdSMTP_UseTLS is %1.\r\n"
                                                  "Set IdSMTP_UseTLS to utUseImplicitTLS for port 465 (or use port 587 "
                                                  "with utUseExplicitTLS).")
                                       .arg(tlsModeSettingName(mode)));
    }
}

// The client knows its settings by kind only: the error says which one is at fault, and a
// caller that gives no names of its own reads plain descriptions, never a column's name.
TEST(TlsModeHint, TheSettingAtFaultIsAKindNamedByTheCaller) {
    SmtpClient client;
    client.setTlsMode(TlsMode::Required);
    client.setHost(QStringLiteral("192.0.2.1"));  // never reached: nothing answers there
    client.setPort(465);
    SmtpError error({});
    try {
        client.connect();
        ADD_FAILURE() << "connected";
    } catch (const SmtpError& raised) {
        error = raised;
    }
    EXPECT_EQ(error.settingAtFault(), SmtpSetting::TlsMode);
    EXPECT_EQ(error.message(), QStringLiteral("Port 465 takes TLS from the first byte, but the TLS mode is "
                                              "utUseRequireTLS.\r\nSet the TLS mode to utUseImplicitTLS for port 465 "
                                              "(or use port 587 with utUseExplicitTLS)."));
    client.setHost(QString());
    try {
        client.connect();
        ADD_FAILURE() << "connected without a host";
    } catch (const SmtpError& raised) {
        EXPECT_EQ(raised.settingAtFault(), SmtpSetting::Server);
    }
}
