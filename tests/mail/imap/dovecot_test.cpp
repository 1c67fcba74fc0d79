// The client against Dovecot, a real IMAP server started by the test: both ways into TLS,
// every way of signing in (an OAuth token included, checked by the server at the test's token
// endpoint), reading without touching flags, the processed folder, and moving with whatever
// the server offers, while every other message of the mailbox stays as it was.
#include "mail/imap/imap_client.h"
#include "mail/oauth/token_request.h"
#include "support/dovecot_peer.h"
#include "support/oauth_peer.h"

#include <QUrlQuery>
#include <gtest/gtest.h>

using namespace velocast::mail;
using namespace velocast::mail::testing;

namespace {

QByteArray message(const QByteArray& subject) {
    return "From: someone@example.test\r\nTo: club@club.test\r\nSubject: " + subject + "\r\nMessage-ID: <" + subject +
           "@example.test>\r\n\r\nbody of " + subject + "\r\n";
}

std::unique_ptr<ImapClient> clientFor(const DovecotPeer& peer, ImapTls tls = ImapTls::Implicit,
                                      std::optional<QString> password = std::nullopt) {
    const quint16 port = tls == ImapTls::Implicit ? peer.implicitTlsPort() : peer.startTlsPort();
    auto c = std::make_unique<ImapClient>(
        ImapEndpoint{QStringLiteral("localhost"), port, tls, testTlsPolicy()},
        ImapCredentials{peer.options().user, password.value_or(peer.options().password), std::nullopt});
    c->setTimeouts({10000, 10000, 10000});
    return c;
}

std::string describe(const ImapClient& c, const DovecotPeer& peer) {
    return (c.transcript().join(QLatin1Char('\n')) + QStringLiteral("\n--- dovecot log ---\n") + peer.log())
        .toStdString();
}

}  // namespace

TEST(ImapDovecot, SignsInOverBothKindsOfTls) {
    DovecotPeer peer;
    struct Case {
        const char* name;
        ImapTls tls;
        std::optional<QString> password;
        QString mechanism;  // empty: refused
    };
    const std::vector<Case> cases{
        {"implicit TLS, PLAIN", ImapTls::Implicit, std::nullopt, QStringLiteral("PLAIN")},
        {"STARTTLS, PLAIN", ImapTls::StartTls, std::nullopt, QStringLiteral("PLAIN")},
        {"a wrong password", ImapTls::Implicit, QStringLiteral("wrong"), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto session = clientFor(peer, c.tls, c.password);
        try {
            session->connect();
            EXPECT_EQ(session->signIn(), c.mechanism) << describe(*session, peer);
            // What the server offers once signed in is what the move decides on.
            EXPECT_TRUE(session->hasCapability("MOVE")) << describe(*session, peer);
        } catch (const ImapError& error) {
            EXPECT_TRUE(c.mechanism.isEmpty()) << error.what() << "\n" << describe(*session, peer);
            EXPECT_EQ(error.failure(), ImapFailure::Refused);
            EXPECT_EQ(error.status(), QStringLiteral("NO"));
            EXPECT_EQ(error.responseCode(), QStringLiteral("AUTHENTICATIONFAILED"));
        }
        const QString transcript = session->transcript().join(QLatin1Char('\n'));
        EXPECT_FALSE(transcript.contains(peer.options().password));
        session->logout();
    }
}

TEST(ImapDovecot, ReadsWithoutChangingFlags) {
    DovecotPeer peer;
    const quint64 unread = peer.deliver(message("unread"));
    const quint64 read = peer.deliver(message("read"), {QStringLiteral("\\Seen")});
    const quint64 flagged = peer.deliver(message("flagged"), {QStringLiteral("\\Flagged")});
    auto session = clientFor(peer);
    session->connect();
    session->signIn();
    for (const bool readOnly : {true, false}) {
        const ImapFolderState state = session->select(QStringLiteral("INBOX"), readOnly);
        EXPECT_NE(state.uidValidity, 0u);
        EXPECT_EQ(state.exists, 3u);
        EXPECT_EQ(session->searchUids(), (QList<quint64>{unread, read, flagged}));
        EXPECT_EQ(session->searchUids("UNSEEN"), (QList<quint64>{unread, flagged}));
        EXPECT_EQ(session->fetchMessage(unread), message("unread"));
        const std::optional<QByteArray> header = session->fetchHeader(flagged);
        ASSERT_TRUE(header.has_value());
        EXPECT_TRUE(header->contains("Subject: flagged")) << header->toStdString();
        EXPECT_FALSE(header->contains("body of"));
        EXPECT_EQ(session->fetchMessage(flagged + 100), std::nullopt);
    }
    session->logout();
    EXPECT_EQ(peer.flags(unread), QStringList());
    EXPECT_EQ(peer.flags(read), QStringList{QStringLiteral("\\Seen")});
    EXPECT_EQ(peer.flags(flagged), QStringList{QStringLiteral("\\Flagged")});
}

TEST(ImapDovecot, MovesOneMessageIntoANestedFolderWithWhatTheServerOffers) {
    struct Case {
        const char* name;
        QString capabilities;  // after sign-in; empty: Dovecot's own (MOVE)
        ImapMoveResult result;
    };
    const std::vector<Case> cases{
        {"MOVE", QString(), ImapMoveResult::Moved},
        {"UIDPLUS: copy, delete, expunge of that UID only", QStringLiteral("IMAP4rev1 UIDPLUS"), ImapMoveResult::Moved},
        {"neither: copy only", QStringLiteral("IMAP4rev1"), ImapMoveResult::CopiedNotRemoved},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DovecotPeer::Options options;
        options.capabilities = c.capabilities;
        DovecotPeer peer(options);
        const quint64 report = peer.deliver(message("report"));
        // The club's own: one it marked deleted and has not expunged yet, one it read.
        const quint64 deleted = peer.deliver(message("deleted"), {QStringLiteral("\\Deleted")});
        const quint64 answer = peer.deliver(message("answer"), {QStringLiteral("\\Seen")});
        auto session = clientFor(peer);
        try {
            session->connect();
            session->signIn();
            session->select(QStringLiteral("INBOX"));
            // Created with its parent, in the server's separator; a second call finds it.
            EXPECT_EQ(session->ensureFolder(QStringLiteral("Velocast/Processados")),
                      QByteArray("Velocast.Processados"));
            EXPECT_EQ(session->ensureFolder(QStringLiteral("Velocast/Processados")),
                      QByteArray("Velocast.Processados"));
            EXPECT_EQ(session->move(report, QStringLiteral("Velocast/Processados")), c.result);
        } catch (const ImapError& error) {
            ADD_FAILURE() << error.what() << "\n" << describe(*session, peer);
        }
        session->logout();
        EXPECT_TRUE(peer.mailboxes().contains(QStringLiteral("Velocast")));
        EXPECT_EQ(peer.uids(QStringLiteral("Velocast.Processados")).size(), 1);
        const QList<quint64> left = peer.uids();
        EXPECT_EQ(left.contains(report), c.result == ImapMoveResult::CopiedNotRemoved);
        EXPECT_TRUE(left.contains(deleted));
        EXPECT_EQ(peer.flags(deleted), QStringList{QStringLiteral("\\Deleted")});
        EXPECT_EQ(peer.flags(answer), QStringList{QStringLiteral("\\Seen")});
    }
}

TEST(ImapDovecot, SignsInWithATokenTheEndpointIssued) {
    OAuthPeer::Options provider;
    provider.user = QStringLiteral("club@club.test");
    OAuthPeer oauth(provider);
    OAuthConfig config;
    config.clientId = QStringLiteral("velocast-test");
    config.caFile = testCaPath();
    config.tokenEndpoint = oauth.endpoint(QStringLiteral("token"));
    QStringList renewals;
    bool staleFirst = false;
    BearerSignIn bearer{
        QStringLiteral("club@club.test"), [&](bool renew) {
            renewals << (renew ? QStringLiteral("renew") : QStringLiteral("first"));
            // A token the endpoint never issued is refused; the renewed one is taken.
            if (!renew && staleFirst) return QStringLiteral("at-stale");
            QUrlQuery form;
            form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("client_credentials"));
            return issuedToken(askEndpoint(config, config.tokenEndpoint, form), config.tokenEndpoint).accessToken;
        }};
    // Dovecot holds the next sign-in from an address back for seconds after a refusal: the
    // renewal is shown once.
    for (const auto& [mechanism, stale] :
         {std::pair{QStringLiteral("OAUTHBEARER"), true}, std::pair{QStringLiteral("XOAUTH2"), false}}) {
        SCOPED_TRACE(mechanism.toStdString());
        renewals.clear();
        staleFirst = stale;
        DovecotPeer::Options options;
        options.introspectionUrl = oauth.endpoint(QStringLiteral("introspect"));
        options.authMechanisms = QStringLiteral("plain ") + mechanism.toLower();
        DovecotPeer peer(options);
        ImapClient session({QStringLiteral("localhost"), peer.implicitTlsPort(), ImapTls::Implicit, testTlsPolicy()},
                           {peer.options().user, QString(), bearer});
        session.setTimeouts({10000, 10000, 10000});
        try {
            session.connect();
            EXPECT_EQ(session.signIn(), mechanism);
            session.select(QStringLiteral("INBOX"), true);
        } catch (const ImapError& error) {
            ADD_FAILURE() << error.what() << "\n" << describe(session, peer);
        }
        EXPECT_EQ(renewals, (stale ? QStringList{QStringLiteral("first"), QStringLiteral("renew")}
                                   : QStringList{QStringLiteral("first")}));
        EXPECT_FALSE(session.transcript().join(QLatin1Char('\n')).contains(QStringLiteral("at-")));
        session.logout();
        const QStringList events = oauth.events();
        EXPECT_EQ(events.contains(QStringLiteral("INTROSPECT bad")), stale)
            << events.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(events.contains(QStringLiteral("INTROSPECT ok"))) << events.join(QLatin1Char('\n')).toStdString();
    }
}
