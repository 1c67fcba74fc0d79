#include "shell/commands/smtp_authorization_command.h"

#include "data/dataset.h"
#include "data/db_error.h"
#include "data/host_schema.h"
#include "data/shared_connection.h"
#include "mail/oauth/device_authorization.h"
#include "mail/oauth/token_error.h"
#include "mail/oauth/token_store.h"
#include "settings/settings.h"
#include "platform/exit_status.h"
#include "outbox/sending/oauth_settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

namespace velocast {

namespace {

void print(std::FILE* stream, const QString& line) {
    std::fprintf(stream, "%s\n", line.toUtf8().constData());
    std::fflush(stream);
}

// The mailbox to sign in as: the account's USERNAME.
QString mailbox(const QString& dataLinkPath) {
    SharedConnection connection(dataLinkPath, QStringLiteral("smtp-authorization"));
    connection.open();
    Dataset settings(QStringLiteral("TBLCONTROLE2"));
    settings.openTable(connection, QStringLiteral("Qzcvar2"), declaredColumns(QStringLiteral("Qzcvar2")));
    if (settings.eof())
        throw DbError(QCoreApplication::translate("SmtpAuthorization", "the settings table Qzcvar2 has no row"));
    return settings.text(QStringLiteral("USERNAME")).trimmed();
}

}  // namespace

int runSmtpAuthorization(const QString& dataLinkPath, const Settings& settings, std::FILE* out, std::FILE* err,
                         std::function<void(int seconds)> wait) {
    QString problem;
    const auto config = oauthSettings(settings, &problem);
    if (!config) {
        print(err, QStringLiteral("velocast: error: %1")
                       .arg(problem.isEmpty()
                                ? QCoreApplication::translate("SmtpAuthorization",
                                                              "%1 has no [oauth] provider: write the [oauth] section "
                                                              "(provider, client_id, ...) first; see the README")
                                      .arg(QDir::toNativeSeparators(settings.file))
                                : problem));
        return kExitConfiguration;
    }
    if (config->grant == mail::OAuthConfig::Grant::ClientCredentials) {
        print(out, QStringLiteral("velocast: grant = client_credentials signs in with the application's own secret; "
                                  "there is nothing to authorize (velocast --test-smtp ADDRESS tries it)"));
        return kExitSuccess;
    }
    if (config->deviceEndpoint.isEmpty()) {
        print(err,
              QStringLiteral("velocast: error: %1: [oauth] device_endpoint is not set: provider = custom needs the "
                             "device authorization endpoint's https:// address")
                  .arg(settings.file));
        return kExitConfiguration;
    }
    QString user;
    QString tokenFile;
    try {
        user = mailbox(dataLinkPath);
        tokenFile = oauthTokenFilePath(dataLinkPath);
    } catch (const DbError& e) {
        print(err, QStringLiteral("velocast: error: %1").arg(e.message()));
        return kExitFailure;
    } catch (const mail::TokenError& e) {
        print(err, QStringLiteral("velocast: error: %1").arg(e.message()));
        return kExitFailure;
    }
    if (user.isEmpty()) {
        print(err, QStringLiteral("velocast: error: USERNAME in the settings table Qzcvar2 is empty: write the mailbox "
                                  "Velocast sends as there, then sign it in"));
        return kExitConfiguration;
    }

    mail::DeviceFlowHooks hooks;
    hooks.showPrompt = [&](const mail::DevicePrompt& prompt) {
        print(out,
              QCoreApplication::translate("SmtpAuthorization",
                                          "To let Velocast send as %1, open on any device with a browser:\n\n    %2\n\n"
                                          "and enter the code:\n\n    %3\n")
                  .arg(user, prompt.verificationUri, prompt.userCode));
        if (!prompt.verificationUriComplete.isEmpty())
            print(out, QCoreApplication::translate("SmtpAuthorization", "(or open %1, which holds the code)\n")
                           .arg(prompt.verificationUriComplete));
        print(out, QCoreApplication::translate("SmtpAuthorization",
                                               "Sign in as %1 there. The code is valid for %2 minutes; waiting...")
                       .arg(user)
                       .arg((prompt.expiresIn + 59) / 60));
    };
    hooks.wait = wait ? wait : [](int seconds) { QThread::sleep(static_cast<unsigned long>(seconds)); };
    hooks.progress = [&](const QString& line) { print(out, QStringLiteral("* %1").arg(line)); };
    try {
        const mail::StoredTokens tokens = mail::authorizeDevice(*config, hooks);
        mail::TokenStore(tokenFile).save(tokens);
    } catch (const mail::TokenError& e) {
        print(err, QStringLiteral("velocast: error: %1").arg(e.message()));
        return kExitFailure;
    }
    print(out,
          QStringLiteral("velocast: the sign-in of %1 is stored in %2 (readable by this account only); Velocast now "
                         "gets its access tokens from %3 by itself")
              .arg(user, QDir::toNativeSeparators(tokenFile), config->tokenEndpoint));
    return kExitSuccess;
}

}  // namespace velocast
