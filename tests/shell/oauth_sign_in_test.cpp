// The program signing in to the SMTP server with OAuth 2.0 access tokens, against a small
// provider on loopback (tests/support/oauth_peer.py): the token endpoint over HTTPS and an SMTP
// server that takes its tokens. Each case runs the built program as a server would.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "mail/oauth/token_store.h"
#include "outbox/sending/oauth_settings.h"
#include "support/host_database.h"
#include "support/oauth_peer.h"
#include "support/qt_printers.h"
#include "support/test_certificate.h"
#include "support/velocast_process.h"

using velocast::mail::StoredTokens;
using velocast::mail::TokenStore;
using velocast::mail::testing::OAuthPeer;
using velocast::testing::HostDatabase;
using velocast::testing::ProcessResult;
using velocast::testing::runBuiltProgram;

namespace {

const QString kMailbox = QStringLiteral("clube@academia.test");

// A club whose account sends through the peer, signed in with OAuth; its token file lives in
// a state folder of the test's own.
struct OAuthClub {
    OAuthPeer peer;
    HostDatabase host;
    QTemporaryDir state;

    explicit OAuthClub(OAuthPeer::Options options = {}) : peer((options.user = kMailbox, options)) {
        host.exec(
            QStringLiteral("UPDATE Qzcvar2 SET STMP_PROVEDOR = :s, IdSMTP_UseTLS = 'utUseRequireTLS', USERNAME = :u, "
                           "PASSWORD = 'never-sent', EMAIL_PROVEDOR = :u, NOME_PROVEDOR = 'Academia'"),
            {{QStringLiteral("s"), QStringLiteral("localhost*%1").arg(peer.smtpPort())},
             {QStringLiteral("u"), kMailbox}});
    }

    // velocast.conf beside the data-link file: the peer's endpoints and trust, then `lines`.
    void configure(const QString& lines) {
        QFile file(host.folder() + QStringLiteral("/velocast.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[tls]\nca_file = %1\n\n[oauth]\nclient_id = velocast-test\ntoken_endpoint = %2\n"
                                  "device_endpoint = %3\nca_file = %1\n%4\n")
                       .arg(velocast::mail::testing::testCaPath(), peer.endpoint(QStringLiteral("token")),
                            peer.endpoint(QStringLiteral("devicecode")), lines)
                       .toUtf8());
    }

    void addRows(int rows) {
        for (int i = 0; i < rows; ++i)
            host.insert(QStringLiteral("Velocast"),
                        {{QStringLiteral("Email"), QStringLiteral("aluno%1@example.com").arg(i)},
                         {QStringLiteral("Assunto"), QStringLiteral("Olá")},
                         {QStringLiteral("Texto"), QStringLiteral("Texto")}});
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("STATE_DIRECTORY"));
        environment.insert(QStringLiteral("XDG_STATE_HOME"), state.path());
        return environment;
    }

    ProcessResult run(QStringList arguments) {
        arguments << QStringLiteral("--data-link") << host.dataLinkPath();
        return runBuiltProgram(QStringLiteral("velocast"), arguments, 120000, environment());
    }
    ProcessResult runOnce() { return run({QStringLiteral("--headless"), QStringLiteral("--once")}); }

    // The club's token file, once there is one.
    QString tokenFile() const {
        const QStringList files =
            QDir(state.filePath(QStringLiteral("velocast"))).entryList({QStringLiteral("smtp-oauth-*.json")});
        return files.size() == 1 ? state.filePath(QStringLiteral("velocast/") + files.first()) : QString();
    }
    // A sign-in as --authorize-smtp would have stored it, where the program looks for it.
    void storeSignIn(const QString& refreshToken, const QString& accessToken, qint64 expiresInSeconds) {
        const QByteArray stateHome = qgetenv("XDG_STATE_HOME"), serviceState = qgetenv("STATE_DIRECTORY");
        qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
        qunsetenv("STATE_DIRECTORY");
        const QString path = velocast::oauthTokenFilePath(host.dataLinkPath());
        stateHome.isNull() ? qunsetenv("XDG_STATE_HOME") : qputenv("XDG_STATE_HOME", stateHome);
        if (!serviceState.isNull()) qputenv("STATE_DIRECTORY", serviceState);
        TokenStore(path).save({QStringLiteral("velocast-test"), peer.endpoint(QStringLiteral("token")), refreshToken,
                               accessToken, QDateTime::currentDateTimeUtc().addSecs(expiresInSeconds)});
    }
};

// The events in order, each present (a prefix of an event line matches).
::testing::AssertionResult inOrder(const QStringList& events, const QStringList& expected) {
    qsizetype at = 0;
    for (const QString& want : expected) {
        while (at < events.size() && !events[at].startsWith(want)) ++at;
        if (at == events.size())
            return ::testing::AssertionFailure() << "missing \"" << want.toStdString() << "\" in order in:\n"
                                                 << events.join(QLatin1Char('\n')).toStdString();
        ++at;
    }
    return ::testing::AssertionSuccess();
}

qsizetype countStarting(const QStringList& events, const QString& prefix) {
    return std::count_if(events.cbegin(), events.cend(), [&](const QString& e) { return e.startsWith(prefix); });
}

int fileMode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

}  // namespace

TEST(OAuthSignIn, HeadlessSendsWithTokensFromTheEndpointAndKeepsRowsWhenItCannot) {
    struct Case {
        const char* name;
        QString config;
        QStringList excluded;  // mechanisms the SMTP server does not offer
        std::function<void(OAuthClub&)> prepare;
        int exitCode;
        QStringList events;  // in this order
        qsizetype tokenRequests;
        int rowsLeft;
        const char* errHolds;
    };
    const QString refreshGrant = QStringLiteral("provider = custom\nscope = smtp\n");
    const Case cases[] = {
        {"the first send fetches a token, the next row reuses it",
         refreshGrant,
         {},
         [](OAuthClub& c) {
             c.peer.command(QStringLiteral("refresh rt-0"));
             c.storeSignIn(QStringLiteral("rt-0"), QString(), 0);
         },
         0,
         {"TOKEN refresh_token ok scope=smtp", "AUTH OAUTHBEARER clube@academia.test ok", "MESSAGE",
          "AUTH OAUTHBEARER clube@academia.test ok", "MESSAGE"},
         1,
         0,
         ""},
        {"an expired token is refused, renewed once and the rotated refresh token kept",
         refreshGrant,
         {},
         [](OAuthClub& c) {
             c.peer.command(QStringLiteral("refresh rt-0"));
             c.peer.command(QStringLiteral("access at-old"));
             c.peer.command(QStringLiteral("expire"));
             c.storeSignIn(QStringLiteral("rt-0"), QStringLiteral("at-old"), 3600);
         },
         0,
         {"AUTH OAUTHBEARER clube@academia.test expired", "TOKEN refresh_token ok",
          "AUTH OAUTHBEARER clube@academia.test ok", "MESSAGE"},
         1,
         0,
         ""},
        {"a token near its end is renewed before the server sees it (XOAUTH2 only)",
         refreshGrant,
         {"OAUTHBEARER"},
         [](OAuthClub& c) {
             c.peer.command(QStringLiteral("refresh rt-0"));
             c.peer.command(QStringLiteral("access at-old"));
             c.storeSignIn(QStringLiteral("rt-0"), QStringLiteral("at-old"), 60);
         },
         0,
         {"TOKEN refresh_token ok", "AUTH XOAUTH2 clube@academia.test ok", "MESSAGE"},
         1,
         0,
         ""},
        {"a revoked refresh token fails clearly and keeps the rows",
         refreshGrant,
         {},
         [](OAuthClub& c) { c.storeSignIn(QStringLiteral("rt-revoked"), QString(), 0); },
         78,  // only a person signing in again mends it
         {"TOKEN refresh_token invalid_grant"},
         1,
         2,
         "run velocast --authorize-smtp again"},
        {"no sign-in stored at all",
         refreshGrant,
         {},
         [](OAuthClub&) {},
         78,
         {},
         0,
         2,
         "no OAuth sign-in is stored for this club's mailbox"},
        {"the token endpoint down keeps the rows for a later run",
         refreshGrant + "token_endpoint = https://localhost:1/token\n",
         {},
         [](OAuthClub& c) { c.storeSignIn(QStringLiteral("rt-0"), QString(), 0); },
         75,
         {},
         0,
         2,
         "velocast: warning: 2 e-mail(s) stay in the outbox: OAuth token endpoint https://localhost:1/token: "},
        {"client credentials: Microsoft's app-only access",
         QStringLiteral("provider = microsoft\ntenant = academia.test\n"
                        "grant = client_credentials\nclient_secret = s3cr3t\n"),
         {"OAUTHBEARER"},
         [](OAuthClub&) {},
         0,
         {"TOKEN client_credentials ok scope=https://outlook.office365.com/.default",
          "AUTH XOAUTH2 clube@academia.test ok", "MESSAGE", "AUTH XOAUTH2 clube@academia.test ok", "MESSAGE"},
         1,
         0,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OAuthPeer::Options options;
        options.excludedMechanisms = c.excluded;
        if (c.config.contains(QLatin1String("client_secret"))) options.clientSecret = QStringLiteral("s3cr3t");
        OAuthClub club(options);
        club.configure(c.config);
        c.prepare(club);
        club.peer.events();  // what preparing caused
        club.addRows(2);

        const ProcessResult result = club.runOnce();
        const QStringList events = club.peer.events();
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err.toStdString();
        EXPECT_TRUE(inOrder(events, c.events));
        EXPECT_EQ(countStarting(events, QStringLiteral("TOKEN ")), c.tokenRequests) << events.join('\n').toStdString();
        // With OAuth the password is never offered, whatever the server lists.
        EXPECT_EQ(
            countStarting(events, QStringLiteral("AUTH PLAIN")) + countStarting(events, QStringLiteral("AUTH LOGIN")),
            0);
        EXPECT_EQ(club.host.count(QStringLiteral("Velocast")), c.rowsLeft);
        EXPECT_TRUE(result.err.contains(QLatin1String(c.errHolds))) << result.err.toStdString();
        EXPECT_FALSE(result.err.contains(QLatin1String("at-")) || result.err.contains(QLatin1String("rt-")))
            << result.err.toStdString();
        if (!club.tokenFile().isEmpty()) {
            EXPECT_EQ(fileMode(club.tokenFile()), 0600);
        }
        if (c.tokenRequests > 0 && c.exitCode == 0) {
            // The endpoint rotates the refresh token at every use: the new one must be the one kept.
            const auto stored = TokenStore(club.tokenFile()).load();
            ASSERT_TRUE(stored);
            if (!c.config.contains(QLatin1String("client_credentials"))) {
                EXPECT_NE(stored->refreshToken, QStringLiteral("rt-0"));
            }
            EXPECT_FALSE(stored->accessToken.isEmpty());
        }
    }
}

TEST(OAuthSignIn, TestSmtpReusesTheStoredTokenAndNamesGrantAndMechanismButNoToken) {
    OAuthClub club;
    club.configure(QStringLiteral("provider = custom\nscope = smtp\n"));
    club.peer.command(QStringLiteral("refresh rt-0"));
    club.storeSignIn(QStringLiteral("rt-0"), QString(), 0);
    club.addRows(1);
    ASSERT_EQ(club.runOnce().exitCode, 0);
    club.peer.events();

    const ProcessResult result = club.run({QStringLiteral("--test-smtp"), QStringLiteral("gerente@example.com")});
    const QStringList events = club.peer.events();
    EXPECT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString();
    EXPECT_EQ(countStarting(events, QStringLiteral("TOKEN ")), 0)
        << events.join('\n').toStdString();  // a later run reuses it
    EXPECT_TRUE(inOrder(events, {"AUTH OAUTHBEARER clube@academia.test ok", "MESSAGE"}));
    EXPECT_TRUE(result.out.contains(QLatin1String("grant refresh_token"))) << result.out.toStdString();
    EXPECT_TRUE(result.out.contains(QLatin1String("C: AUTH OAUTHBEARER ****"))) << result.out.toStdString();
    EXPECT_TRUE(result.out.contains(QLatin1String("* signed in with OAUTHBEARER (OAuth 2.0, grant refresh_token)")));
    EXPECT_FALSE((result.out + result.err).contains(QLatin1String("at-"))) << result.out.toStdString();
}

TEST(OAuthSignIn, AuthorizeSmtpRunsTheDeviceGrantFromATerminal) {
    struct Case {
        const char* name;
        const char* script;  // the endpoint's answers before it approves
        int exitCode;
        const char* holds;
    };
    const Case cases[] = {
        {"pending twice, slow_down once, then approved", "authorization_pending,authorization_pending,slow_down", 0,
         "velocast: the sign-in of clube@academia.test is stored in"},
        {"refused at the provider", "access_denied", 1, "access_denied"},
        {"the code expired", "authorization_pending,expired_token", 1, "expired_token"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OAuthPeer::Options options;
        options.deviceScript = QLatin1String(c.script);
        OAuthClub club(options);
        club.configure(QStringLiteral("provider = custom\nscope = smtp offline_access\n"));

        const ProcessResult result = club.run({QStringLiteral("--authorize-smtp")});
        const QStringList events = club.peer.events();
        EXPECT_EQ(result.exitCode, c.exitCode) << result.out.toStdString() << result.err.toStdString();
        EXPECT_TRUE((result.out + result.err).contains(QLatin1String(c.holds)))
            << result.out.toStdString() << result.err.toStdString();
        EXPECT_TRUE(result.out.contains(club.peer.endpoint(QStringLiteral("device")))) << result.out.toStdString();
        EXPECT_TRUE(result.out.contains(QLatin1String("WDJB-MJHT")));
        EXPECT_TRUE(inOrder(events, {"DEVICE start scope=smtp offline_access"}));
        EXPECT_EQ(countStarting(events, QStringLiteral("POLL early")), 0) << events.join('\n').toStdString();
        if (c.exitCode != 0) continue;

        EXPECT_FALSE(result.out.contains(QLatin1String("rt-")) || result.out.contains(QLatin1String("at-")));
        EXPECT_EQ(fileMode(club.tokenFile()), 0600);
        // The stored sign-in is what the unattended run uses.
        club.addRows(1);
        const ProcessResult send = club.runOnce();
        EXPECT_EQ(send.exitCode, 0) << send.err.toStdString();
        EXPECT_TRUE(inOrder(club.peer.events(), {"AUTH OAUTHBEARER clube@academia.test ok", "MESSAGE"}));
        EXPECT_EQ(club.host.count(QStringLiteral("Velocast")), 0);
    }
}

TEST(OAuthSignIn, AnUnusableOAuthSectionIsRefusedBeforeAnythingRuns) {
    const struct {
        const char* section;
        const char* holds;
    } cases[] = {
        {"provider = custom\nclient_id = x\n", "[oauth] token_endpoint is not set"},
        {"provider = custom\nclient_id = x\ntoken_endpoint = http://idp.example/token\n", "is not an https:// address"},
        {"provider = microsoft\n", "[oauth] client_id is not set"},
        {"provider = microsoft\nclient_id = x\ngrant = client_credentials\nclient_secret = s\n",
         "[oauth] tenant is not set"},
        {"provider = google\nclient_id = x\ngrant = client_credentials\nclient_secret = s\n",
         "use grant = refresh_token"},
        {"provider = google\nclient_id = x\nclient_secret_file = missing.txt\n", "client_secret_file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.section);
        HostDatabase host;
        QFile file(host.folder() + QStringLiteral("/velocast.conf"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[oauth]\n") + c.section);
        file.close();
        const ProcessResult result =
            runBuiltProgram(QStringLiteral("velocast"), {QStringLiteral("--headless"), QStringLiteral("--once"),
                                                         QStringLiteral("--data-link"), host.dataLinkPath()});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.err.contains(QLatin1String(c.holds))) << result.err.toStdString();
    }
}
