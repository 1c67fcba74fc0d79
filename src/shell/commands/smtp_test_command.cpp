#include "shell/commands/smtp_test_command.h"

#include <QCoreApplication>

#include "data/db_error.h"
#include "data/shared_connection.h"
#include "mail/mime/address_check.h"
#include "mail/mime/message_composer.h"
#include "mail/smtp/smtp_client.h"
#include "mail/oauth/token_error.h"
#include "mail/smtp/smtp_reply.h"
#include "outbox/sending/oauth_sign_in.h"
#include "outbox/sending/smtp_account.h"
#include "platform/exit_status.h"
#include "outbox/sending/oauth_settings.h"
#include "outbox/sending/tls_settings.h"

namespace velocast {

namespace {
// Every line may hold text from the server or the database: no control character reaches
// the terminal raw. A multi-line error goes out as lines of its own, the later ones indented.
void print(std::FILE* stream, const QString& line) {
    const QStringList parts = line.split(QStringLiteral("\r\n"));
    for (qsizetype i = 0; i < parts.size(); ++i)
        std::fprintf(stream, "%s%s\n", i > 0 ? "  " : "", mail::printableText(parts[i]).toUtf8().constData());
    std::fflush(stream);
}

// The certificate the server showed, what was concluded, and the lines that would pin it.
void printCertificate(std::FILE* out, const mail::TlsPeerReport& report, const mail::TlsPolicy& policy) {
    if (report.chain.isEmpty()) return;
    print(out, QCoreApplication::translate("SmtpTestCommand", "* certificate chain as the server sent it:"));
    for (qsizetype i = 0; i < report.chain.size(); ++i)
        print(out, QStringLiteral("*   %1: %2").arg(i).arg(report.chain[i]));
    print(out, QStringLiteral("* verification: %1").arg(report.verdict));
    // Only a server that needed help: a verified or already pinned one is fine as it is.
    if (report.pin.isEmpty() || report.verdict.startsWith(QLatin1String("verified")) ||
        report.verdict.startsWith(QLatin1String("accepted")))
        return;
    print(out, QCoreApplication::translate(
                   "SmtpTestCommand",
                   "* to accept exactly this key, check the chain above, then put these lines under [tls] in %1:")
                   .arg(policy.settingsFile));
    print(out, QStringLiteral("verify = pin"));
    print(out, QStringLiteral("pin = %1").arg(report.pin));
}
}  // namespace

int runSmtpTest(const QString& dataLinkPath, const QString& address, const Settings& settings, std::FILE* out,
                std::FILE* err) {
    // Read as the sender reads an outbox row's address.
    const QString recipient = mail::trimControlCharacters(address);
    if (recipient.isEmpty() || !mail::ValidaEMail(recipient)) {
        print(err, QStringLiteral("velocast: \"%1\" is not an address Velocast would send to").arg(address));
        return kExitUsage;
    }
    SmtpAccount account;
    try {
        SharedConnection connection(dataLinkPath, QStringLiteral("smtp-test"));
        connection.open();
        account = readSmtpAccount(connection);
    } catch (const DbError& e) {
        print(err, QStringLiteral("velocast: %1").arg(e.message()));
        return kExitFailure;
    }

    mail::SmtpClient client;
    QString unusable;
    const auto policy = tlsPolicyFromSettings(settings, &unusable);
    if (!policy) {
        print(err, QStringLiteral("velocast: error: %1").arg(unusable));
        return kExitUsage;
    }
    client.setTlsPolicy(*policy);
    client.setWarningObserver([out](const QString& text) { print(out, QStringLiteral("* warning: %1").arg(text)); });
    if (!configureClient(client, account)) {
        print(err, QStringLiteral("velocast: STMP_PROVEDOR \"%1\" names no port after \"*\" (write it as host*port, "
                                  "e.g. smtp.example.com*587)")
                       .arg(account.server));
        return kExitFailure;
    }
    QString problem;
    const auto oauth = oauthSettings(settings, &problem);
    std::unique_ptr<mail::TokenService> tokens;
    if (oauth) {
        tokens = makeTokenService(*oauth, dataLinkPath);
        signInWithTokens(client, *tokens, account.userName);
    }
    print(
        out,
        QCoreApplication::translate("SmtpTestCommand", "* server %1 port %2, TLS mode %3, %4")
            .arg(client.host())
            .arg(client.port())
            .arg(mail::tlsModeSettingName(client.tlsMode()),
                 oauth ? QCoreApplication::translate("SmtpTestCommand", "OAuth 2.0 sign-in as \"%1\"")
                             .arg(account.userName)
                 : account.authenticates()
                     ? QCoreApplication::translate("SmtpTestCommand", "authenticating as \"%1\"").arg(account.userName)
                 : account.userNameBlank()
                     ? QCoreApplication::translate("SmtpTestCommand",
                                                   "no authentication (USERNAME is empty, read as NULL)")
                     : QCoreApplication::translate("SmtpTestCommand", "no authentication (USERNAME is NULL)")));
    if (oauth) {
        print(out, QCoreApplication::translate("SmtpTestCommand",
                                               "* OAuth 2.0: provider %1, grant %2, token endpoint %3, scope \"%4\"")
                       .arg(oauth->provider, oauth->grantName(), oauth->tokenEndpoint, oauth->scope));
        try {
            tokens->accessToken();
        } catch (const mail::TokenError& e) {
            print(err, QStringLiteral("velocast: the test message was not sent: no access token: %1").arg(e.message()));
            return kExitFailure;
        }
        print(out,
              (tokens->lastSource() == QLatin1String("fetched")
                   ? QCoreApplication::translate("SmtpTestCommand",
                                                 "* access token (****) fetched from the token endpoint, kept in %1")
                   : QCoreApplication::translate("SmtpTestCommand", "* access token (****) still valid, read from %1"))
                  .arg(tokens->storePath()));
    }
    client.setDialogueObserver([out](mail::DialogueKind kind, const QString& line) {
        const char* prefix = kind == mail::DialogueKind::Sent       ? "C: "
                             : kind == mail::DialogueKind::Received ? "S: "
                                                                    : "* ";
        print(out, QLatin1String(prefix) + line);
    });

    const mail::MessageFields fields =
        messageFromAccount(account, recipient, QStringLiteral("Velocast: mensagem de teste"),
                           QStringLiteral("Esta é uma mensagem de teste do Velocast.\r\n"
                                          "Se você a recebeu, a conta de e-mail do clube está pronta."));
    try {
        client.connect();
        client.send(mail::composeMessage(fields));
        client.disconnect();
    } catch (const mail::SmtpError& e) {
        client.release();
        printCertificate(out, client.tlsPeerReport(), *policy);
        print(err, QStringLiteral("velocast: the test message was not sent: %1").arg(e.message()));
        return kExitFailure;
    } catch (const mail::TokenError& e) {
        client.release();
        print(err, QStringLiteral("velocast: the test message was not sent: no new access token: %1").arg(e.message()));
        return kExitFailure;
    }
    if (!client.bearerMechanismUsed().isEmpty())
        print(out, QCoreApplication::translate("SmtpTestCommand", "* signed in with %1 (OAuth 2.0, grant %2)")
                       .arg(client.bearerMechanismUsed(), oauth->grantName()));
    printCertificate(out, client.tlsPeerReport(), *policy);
    print(
        out,
        QCoreApplication::translate("SmtpTestCommand", "* the server accepted the test message for %1").arg(recipient));
    return kExitSuccess;
}

}  // namespace velocast
