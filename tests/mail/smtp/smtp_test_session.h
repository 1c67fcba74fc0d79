#pragma once
// A client set up for the loopback tests: short time-outs (so a fault can never stall the
// run; no test measures them) and the dialogue collected as "C: ", "S: " and "* " lines.
#include "mail/smtp/smtp_client.h"
#include "outbox/sending/smtp_account.h"
#include "support/test_certificate.h"

#include <QStringList>

namespace velocast::mail::testing {

struct TestSession {
    SmtpClient client;
    QStringList log;

    explicit TestSession(quint16 port, TlsMode mode = TlsMode::None, int replyMs = 10000) {
        client.setTlsMode(mode);
        client.setHost(QStringLiteral("127.0.0.1"));
        client.setPort(port);
        client.setTimeouts({10000, replyMs, 10000});
        client.setTlsPolicy(testTlsPolicy());
        client.setDialogueObserver([this](DialogueKind kind, const QString& line) {
            log << (kind == DialogueKind::Sent ? "C: " : kind == DialogueKind::Received ? "S: " : "* ") + line;
        });
        client.setWarningObserver([this](const QString& text) { log << "! " + text; });
        // Advice names the settings as the program names them: the club's columns.
        client.setSettingNames(velocast::settingColumn);
    }
    void useSasl(const QString& user, const QString& password) {
        client.setAuthentication(SmtpAuthentication::Sasl);
        client.setUserName(user);
        client.setPassword(password);
    }
};

inline ComposedMessage testMessage(QStringList recipients = {QStringLiteral("member@club.test")}) {
    return {QStringLiteral("club@club.test"), recipients, {"From: club@club.test", "Subject: hello", "", "body"}};
}

// About `bytes` of body as 76-character lines (like a base64 attachment), each line
// different so that a lost or repeated slice shows in the digest.
ComposedMessage largeMessage(qsizetype bytes);

// The error connect() raised; a test failure when it did not fail.
SmtpError connectError(TestSession& session);

// "EHLO <this machine>" as the client sends it.
std::string ehloLine();

}  // namespace velocast::mail::testing
