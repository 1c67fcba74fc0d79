// The client against a scripted server, for exact exchanges and for faults a real server does
// not commit: what is sent when the server has neither MOVE nor UIDPLUS, literals both ways, a
// server that hangs or floods, one whose certificate does not verify, one without STARTTLS.
#include "mail/imap/imap_client.h"
#include "scripted_imap_server.h"
#include "support/smtp_scripted_server.h"

#include <gtest/gtest.h>

using namespace velocast::mail;
using namespace velocast::mail::testing;
using Server = ScriptedImapServer;

namespace {

const QString kUser = QStringLiteral("club");
const QString kPassword = QStringLiteral("s3cret");

// Short limits so that a fault can never stall the run; no test measures them.
ImapClient& configured(ImapClient& client) {
    client.setTimeouts({5000, 5000, 5000});
    return client;
}

ImapEndpoint endpoint(quint16 port, ImapTls tls = ImapTls::Implicit) {
    return {QStringLiteral("127.0.0.1"), port, tls, testTlsPolicy()};
}

std::vector<Server::Step> join(std::initializer_list<std::vector<Server::Step>> parts) {
    std::vector<Server::Step> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::string plainSignIn(const std::string& tag, const QString& user, const QString& password) {
    return tag + " AUTHENTICATE PLAIN " +
           (QByteArray(1, '\0') + user.toUtf8() + '\0' + password.toUtf8()).toBase64().toStdString();
}

}  // namespace

// A missing target folder is created when the server says so, and the copy tried again.
TEST(ImapExchange, WithoutMoveOrUidplusOnlyCopiesAndNeverExpunges) {
    Server server(
        join({{Server::say("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR] ready")},
              answer("A1 OK [CAPABILITY IMAP4rev1 IDLE] Logged in"),
              answer("* 2 EXISTS\r\n* OK [UIDVALIDITY 77] v\r\n* OK [UIDNEXT 9] n\r\nA2 OK [READ-WRITE] done"),
              answer("A3 NO [TRYCREATE] No such mailbox"),
              answer("A4 OK listed"),
              answer("A5 OK created"),
              answer("A6 OK Copy completed"),
              answer("* BYE bye\r\nA7 OK done")}));
    ImapClient client(endpoint(server.port()), {kUser, kPassword, std::nullopt});
    configured(client);
    client.connect();
    EXPECT_EQ(client.signIn(), QStringLiteral("PLAIN"));
    const ImapFolderState state = client.select(QStringLiteral("INBOX"));
    EXPECT_EQ(state.uidValidity, 77u);
    EXPECT_EQ(state.exists, 2u);
    EXPECT_EQ(state.uidNext, 9u);
    EXPECT_EQ(client.move(7, QStringLiteral("Processed")), ImapMoveResult::CopiedNotRemoved);
    client.logout();
    EXPECT_EQ(server.transcript(),
              (std::vector<std::string>{plainSignIn("A1", kUser, kPassword), "A2 SELECT \"INBOX\"",
                                        "A3 UID COPY 7 \"Processed\"", "A4 LIST \"\" \"Processed\"",
                                        "A5 CREATE \"Processed\"", "A6 UID COPY 7 \"Processed\"", "A7 LOGOUT"}));
    const QString transcript = client.transcript().join(QLatin1Char('\n'));
    EXPECT_TRUE(transcript.contains(QStringLiteral("C: A1 AUTHENTICATE PLAIN ****"))) << transcript.toStdString();
    EXPECT_FALSE(transcript.contains(kPassword));
    EXPECT_FALSE(transcript.contains(QString::fromLatin1(QByteArray("\0club\0s3cret", 13).toBase64())));
}

TEST(ImapExchange, LiteralsBothWays) {
    // A message whose bytes look like protocol: a closing parenthesis, a literal marker, a
    // tagged line. Only the announced length says where it ends.
    const std::string body = "Subject: (odd) {5}\r\n\r\nA4 OK fake\r\n)\r\n";
    const QString password = QStringLiteral("p\u00e4ss");  // 8-bit: only a literal can carry it
    Server server(
        join({{Server::say("* OK [CAPABILITY IMAP4rev1] ready")},
              {Server::hear(), Server::say("+ go ahead")},
              answer("A1 OK [CAPABILITY IMAP4rev1 UIDPLUS] in"),
              answer("* OK [UIDVALIDITY 5] v\r\nA2 OK [READ-ONLY] examined"),
              answer("* SEARCH 12 3 9\r\nA3 OK done"),
              {Server::hear(), Server::sayRaw("* 1 FETCH (FLAGS (\\Seen) UID 2)\r\n* 2 FETCH (UID 3 BODY[] {" +
                                              std::to_string(body.size()) + "}\r\n" + body + ")\r\nA4 OK done\r\n")},
              answer("* 3 FETCH (UID 9 BODY[HEADER] NIL)\r\nA5 OK done"),
              answer("A6 OK nothing to fetch"),
              {Server::hear(), Server::say("* LIST (\\HasNoChildren) \".\" {11}\r\nDevolu&AOc-\r\nA7 OK")},
              answer("A8 OK listed"),
              answer("A9 OK created"),
              answer("* BYE bye\r\nA10 OK done")}));
    ImapClient client(endpoint(server.port()), {kUser, password, std::nullopt});
    configured(client);
    client.connect();
    EXPECT_EQ(client.signIn(), QStringLiteral("LOGIN"));
    EXPECT_TRUE(client.select(QStringLiteral("INBOX"), true).readOnly);
    EXPECT_EQ(client.searchUids(), (QList<quint64>{3, 9, 12}));
    EXPECT_EQ(client.fetchMessage(3), QByteArray::fromStdString(body));
    EXPECT_EQ(client.fetchHeader(9), QByteArray());
    EXPECT_EQ(client.fetchMessage(12), std::nullopt);
    // The folder listed under the exact name exists; no CREATE follows for it.
    client.ensureFolder(QStringLiteral("Devolu\u00e7"));
    EXPECT_EQ(client.ensureFolder(QStringLiteral("Old")), QByteArray("Old"));
    client.logout();
    EXPECT_EQ(server.transcript(),
              (std::vector<std::string>{"A1 LOGIN \"club\" {5}", password.toUtf8().toStdString(),
                                        "A2 EXAMINE \"INBOX\"", "A3 UID SEARCH ALL", "A4 UID FETCH 3 (UID BODY.PEEK[])",
                                        "A5 UID FETCH 9 (UID BODY.PEEK[HEADER])", "A6 UID FETCH 12 (UID BODY.PEEK[])",
                                        "A7 LIST \"\" \"Devolu&AOc-\"", "A8 LIST \"\" \"Old\"", "A9 CREATE \"Old\"",
                                        "A10 LOGOUT"}));
}

TEST(ImapExchange, FaultsEndTheSessionWithTheirKind) {
    const auto greeting = Server::say("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR] ready");
    struct Case {
        const char* name;
        std::vector<Server::Step> script;
        QStringList certificateNames;
        ImapFailure failure;
        QString code;
    };
    const QStringList good{QStringLiteral("localhost"), QStringLiteral("127.0.0.1")};
    const std::vector<Case> cases{
        {"a server that hangs", {greeting, Server::hear(), Server::awaitClose()}, good, ImapFailure::Timeout, {}},
        {"an over-long line",
         {greeting, Server::hear(), Server::say("* " + std::string(3000, 'a'))},
         good,
         ImapFailure::TooLarge,
         {}},
        {"a literal over the cap, refused before it is read",
         {greeting, Server::hear(), Server::say("* 1 FETCH (BODY[] {900000000}"), Server::awaitClose()},
         good,
         ImapFailure::TooLarge,
         {}},
        {"a refused password", join({{greeting}, answer("A1 NO [AUTHENTICATIONFAILED] Authentication failed.")}), good,
         ImapFailure::Refused, QStringLiteral("AUTHENTICATIONFAILED")},
        {"a greeting that is a goodbye",
         {Server::say("* BYE [UNAVAILABLE] go away")},
         good,
         ImapFailure::Closed,
         QStringLiteral("UNAVAILABLE")},
        {"a certificate for another name",
         {},
         {QStringLiteral("imap.elsewhere.example")},
         ImapFailure::CertificateRefused,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Server server(c.script, c.certificateNames);
        ImapClient client(endpoint(server.port()), {kUser, kPassword, std::nullopt});
        client.setTimeouts({5000, 300, 300});
        client.setLimits({1024, 1024 * 1024});
        try {
            client.connect();
            client.signIn();
            ADD_FAILURE() << "no failure";
        } catch (const ImapError& error) {
            EXPECT_EQ(error.failure(), c.failure) << error.what();
            EXPECT_EQ(error.responseCode(), c.code) << error.what();
            EXPECT_FALSE(error.message().contains(kPassword));
        }
        if (c.failure != ImapFailure::Refused) {
            EXPECT_FALSE(client.isConnected());
        }
        client.logout();
        server.transcript();
    }
}

TEST(ImapExchange, StartTlsModeNeverGoesOnInClear) {
    // A plain peer (no TLS at all): the client must end before it says anything that matters.
    ScriptedSmtpServer server(
        {ScriptedSmtpServer::say("* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN LOGIN] hi"), ScriptedSmtpServer::awaitClose()});
    ImapClient client(endpoint(server.port(), ImapTls::StartTls), {kUser, kPassword, std::nullopt});
    configured(client);
    try {
        client.connect();
        client.signIn();
        ADD_FAILURE() << "went on without STARTTLS";
    } catch (const ImapError& error) {
        EXPECT_EQ(error.failure(), ImapFailure::NoTls) << error.what();
        EXPECT_EQ(error.command(), QStringLiteral("STARTTLS"));
    }
    EXPECT_TRUE(server.transcript().empty());
}

TEST(ImapResponse, MailboxNamesInModifiedUtf7) {
    const std::vector<std::pair<QString, QByteArray>> cases{
        {QStringLiteral("Velocast"), "Velocast"},
        {QStringLiteral("Devolu\u00e7\u00f5es"), "Devolu&AOcA9Q-es"},
        {QStringLiteral("R&D"), "R&-D"},
        {QStringLiteral("\u65e5\u672c\u8a9e"), "&ZeVnLIqe-"},
    };
    for (const auto& [name, encoded] : cases) {
        EXPECT_EQ(encodeMailboxName(name), encoded);
        EXPECT_EQ(decodeMailboxName(encoded), name);
    }
}
