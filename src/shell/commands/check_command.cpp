#include "shell/commands/check_command.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <memory>

#include "calendar/date_time.h"
#include "campaigns/campaign_columns.h"
#include "data/dataset.h"
#include "data/db_error.h"
#include "data/dialect.h"
#include "data/failure_cause.h"
#include "data/host_schema.h"
#include "data/shared_connection.h"
#include "mail/mime/address_check.h"
#include "mail/mime/attachment_policy.h"
#include "outbox/sending/smtp_account.h"
#include "mail/smtp/smtp_client.h"
#include "mail/smtp/smtp_reply.h"
#include "outbox/sending/smtp_account.h"
#include "outbox/sending/attachment_folders.h"
#include "shell/desktop/display_check.h"
#include "platform/exit_status.h"
#include "mail/oauth/token_service.h"
#include "mailbox/mailbox_setup.h"
#include "outbox/sending/oauth_settings.h"
#include "outbox/sending/tls_settings.h"

namespace velocast {

namespace {

// The lines of the check, printed as they are decided.
class Report {
public:
    explicit Report(std::FILE* out) : out_(out) {}
    void pass(const QString& subject, const QString& text) { line(true, subject, text); }
    void fail(const QString& subject, const QString& text) {
        ++failed_;
        line(false, subject, text);
    }
    int failed() const { return failed_; }
    int total() const { return total_; }

private:
    void line(bool ok, const QString& subject, const QString& text) {
        ++total_;
        // Values come from the club's database and the server: nothing in them may steer a
        // terminal, and a multi-line server reply stays on the check's one line.
        const QString flat = mail::printableText(QString(text).replace(QLatin1String("\r\n"), QLatin1String(": ")));
        std::fprintf(out_, "%s %s: %s\n", ok ? "\u2713" : "\u2717", subject.toUtf8().constData(),
                     flat.toUtf8().constData());
        std::fflush(out_);
    }
    std::FILE* out_;
    int failed_ = 0;
    int total_ = 0;
};

QString settingsKey(const QString& column) { return QStringLiteral("Qzcvar2.") + column; }

// Opens one table of the host for reading; false (said on the report) when it cannot.
bool openTable(Report& report, SharedConnection& connection, Dataset& dataset, const QString& table) {
    try {
        dataset.openTable(connection, table, declaredColumns(table));
        return true;
    } catch (const DbError& e) {
        report.fail(table, QCoreApplication::translate("CheckCommand", "the table cannot be read: %1")
                               .arg(databaseFailureCause(connection, e.message())));
        return false;
    }
}

void checkCashSession(Report& report, SharedConnection& connection) {
    Dataset caixa(QStringLiteral("TBLCAIXA"));
    if (!openTable(report, connection, caixa, QStringLiteral("Caixa"))) return;
    caixa.last();
    const DateTime opened = caixa.eof() ? DateTime() : dateTimeFromColumn(caixa.value(QStringLiteral("DATAABERTURA")));
    if (opened.isZero())
        report.fail(QStringLiteral("Caixa.DATAABERTURA"),
                    QCoreApplication::translate(
                        "CheckCommand",
                        "no cash-register session with an opening date, so there is no business date and no "
                        "campaign can run; open the cash register in the club's system"));
    else
        report.pass(
            QStringLiteral("Caixa"),
            QCoreApplication::translate("CheckCommand", "business date %1").arg(opened.date().toString(Qt::ISODate)));
}

// Host, port, TLS mode, user and sender; true when the server can be tried.
bool checkAccount(Report& report, const SmtpAccount& account, bool oauth) {
    bool reachable = true;
    const QString host = smtpHost(account.server);
    const auto port = smtpPort(account.server);
    const QString example =
        QCoreApplication::translate("CheckCommand", "write it as host*port, e.g. smtp.example.com*587");
    if (host.isEmpty()) {
        report.fail(settingsKey(QStringLiteral("STMP_PROVEDOR")),
                    (account.server.contains(QLatin1Char('*'))
                         ? QCoreApplication::translate("CheckCommand", "\"%1\" names no host before \"*\"; %2")
                         : QCoreApplication::translate("CheckCommand", "\"%1\" has no \"*\" between host and port; %2"))
                        .arg(account.server, example));
        reachable = false;
    } else if (!port || *port == 0) {
        report.fail(settingsKey(QStringLiteral("STMP_PROVEDOR")),
                    QCoreApplication::translate(
                        "CheckCommand",
                        "\"%1\" has no port that can be read after the \"*\" (digits only, no blank after "
                        "them); %2")
                        .arg(account.server, example));
        reachable = false;
    } else {
        report.pass(settingsKey(QStringLiteral("STMP_PROVEDOR")),
                    QCoreApplication::translate("CheckCommand", "host %1, port %2").arg(host).arg(*port));
    }
    if (tlsModeFromSettingName(account.tlsModeName))
        report.pass(settingsKey(QStringLiteral("IdSMTP_UseTLS")), account.tlsModeName);
    else
        report.fail(settingsKey(QStringLiteral("IdSMTP_UseTLS")),
                    QCoreApplication::translate(
                        "CheckCommand",
                        "\"%1\" is not a TLS mode (letter case and blanks count); write utUseRequireTLS "
                        "(STARTTLS, port 587), utUseImplicitTLS (port 465), utUseExplicitTLS or utNoTLSSupport")
                        .arg(account.tlsModeName));
    if (account.authenticates()) {
        report.pass(settingsKey(QStringLiteral("USERNAME")),
                    QCoreApplication::translate("CheckCommand", "signs in as \"%1\"").arg(account.userName));
        if (account.password.isEmpty() && !oauth)
            report.fail(settingsKey(QStringLiteral("PASSWORD")),
                        QCoreApplication::translate(
                            "CheckCommand",
                            "empty, but USERNAME asks to sign in: write the mailbox's password in "
                            "Qzcvar2.PASSWORD, or set USERNAME to NULL for a server that takes mail without"));
    } else {
        report.pass(settingsKey(QStringLiteral("USERNAME")),
                    account.userNameBlank()
                        ? QCoreApplication::translate(
                              "CheckCommand",
                              "empty, read as NULL: no authentication (write the mailbox's user name to sign in)")
                        : QCoreApplication::translate("CheckCommand", "NULL: no authentication"));
    }
    const QString sender = mail::trimControlCharacters(account.senderAddress);
    if (sender.isEmpty() || !mail::ValidaEMail(sender))
        report.fail(
            settingsKey(QStringLiteral("EMAIL_PROVEDOR")),
            QCoreApplication::translate(
                "CheckCommand", "\"%1\" is not an address the e-mails can come from; write the club's sending address")
                .arg(account.senderAddress));
    else report.pass(settingsKey(QStringLiteral("EMAIL_PROVEDOR")), sender);
    return reachable;
}

// Each campaign that is switched on must have something to send; its picture must be one the
// sender may attach.
void checkCampaigns(Report& report, const Dataset& settings, const mail::AttachmentPolicy& attachments) {
    QStringList off;
    for (const CampaignColumns& campaign : allCampaignColumns()) {
        if (settings.text(campaign.switchColumn) != QLatin1String("Sim")) {
            off << campaign.controlFlag;
            continue;
        }
        bool holds = true;
        if (settings.text(campaign.subjectColumn).trimmed().isEmpty()) {
            holds = false;
            report.fail(settingsKey(campaign.subjectColumn),
                        QCoreApplication::translate(
                            "CheckCommand",
                            "%1 is switched on (%2 = \"Sim\") but its subject is empty; write one or switch it off")
                            .arg(campaign.controlFlag, campaign.switchColumn));
        }
        if (settings.text(campaign.textColumn).trimmed().isEmpty()) {
            holds = false;
            report.fail(settingsKey(campaign.textColumn),
                        QCoreApplication::translate(
                            "CheckCommand",
                            "%1 is switched on (%2 = \"Sim\") but its text is empty; write one or switch it off")
                            .arg(campaign.controlFlag, campaign.switchColumn));
        }
        const QString image = settings.text(campaign.imageColumn);
        QString why;
        if (!image.isEmpty() && !mail::readAllowedAttachment(image, attachments, &why)) {
            holds = false;
            report.fail(settingsKey(campaign.imageColumn), QStringLiteral("%1: %2").arg(campaign.controlFlag, why));
        }
        if (holds)
            report.pass(campaign.controlFlag,
                        image.isEmpty()
                            ? QCoreApplication::translate("CheckCommand", "switched on, subject and text set")
                            : QCoreApplication::translate("CheckCommand", "switched on, subject, text and picture %1")
                                  .arg(image));
    }
    if (!off.isEmpty())
        report.pass(QCoreApplication::translate("CheckCommand", "switched off"), off.join(QStringLiteral(", ")));
}

// Connects and says EHLO, no more: no AUTH, no mail.
void checkServer(Report& report, const SmtpAccount& account, const mail::TlsPolicy& policy) {
    mail::SmtpClient client;
    client.setTlsPolicy(policy);
    client.setWarningObserver([](const QString&) {});  // the account's lines above say it
    configureClient(client, account);
    const QString server =
        QCoreApplication::translate("CheckCommand", "SMTP server %1:%2").arg(client.host()).arg(client.port());
    try {
        client.connect();
    } catch (const mail::SmtpError& e) {
        client.release();
        if (!e.setting().isEmpty()) report.fail(settingsKey(e.setting()), e.message());
        else if (e.certificateRefused())
            report.fail(QStringLiteral("%1 [tls]")
                            .arg(policy.settingsFile.isEmpty() ? QStringLiteral("velocast.conf") : policy.settingsFile),
                        QCoreApplication::translate(
                            "CheckCommand",
                            "%1 refused: %2 (velocast --test-smtp shows the certificate and the lines that pin it)")
                            .arg(server, e.message()));
        else
            report.fail(
                settingsKey(QStringLiteral("STMP_PROVEDOR")),
                QCoreApplication::translate("CheckCommand", "%1 cannot be reached: %2").arg(server, e.message()));
        return;
    }
    const bool startTls =
        std::any_of(client.capabilities().cbegin(), client.capabilities().cend(), [](const QString& line) {
            return line.trimmed().compare(QLatin1String("STARTTLS"), Qt::CaseInsensitive) == 0;
        });
    const bool tls = client.tlsActive();
    client.disconnect();
    if (client.tlsMode() == mail::TlsMode::Required && !startTls) {
        report.fail(settingsKey(QStringLiteral("IdSMTP_UseTLS")),
                    QCoreApplication::translate(
                        "CheckCommand",
                        "%1 answers EHLO but offers no STARTTLS, which utUseRequireTLS needs; use the port "
                        "the provider gives for TLS")
                        .arg(server));
        return;
    }
    report.pass(QCoreApplication::translate("CheckCommand", "SMTP server"),
                QCoreApplication::translate("CheckCommand", "%1 answers EHLO%2")
                    .arg(server, tls        ? QCoreApplication::translate("CheckCommand", " over TLS")
                                 : startTls ? QCoreApplication::translate("CheckCommand", ", offers STARTTLS")
                                            : QString()));
}

// Signs in to the club's mailbox and opens its folder read-only: nothing is read or moved.
void checkMailbox(Report& report, const Settings& settings, const SmtpAccount& smtp, const mail::TlsPolicy& policy,
                  const std::optional<mail::OAuthConfig>& oauth, const QString& dataLinkPath) {
    if (!mailboxConfigured(settings)) return;
    std::unique_ptr<mail::TokenService> tokens = oauth ? makeTokenService(*oauth, dataLinkPath) : nullptr;
    const MailboxAccount account = mailboxAccount(settings, smtp, policy, tokens.get());
    const MailboxPassResult result = readMailbox(account, nullptr, QDateTime(), true);
    const QString subject = QStringLiteral("mailbox %1:%2").arg(account.endpoint.host).arg(account.endpoint.port);
    if (result.ok)
        report.pass(subject, QStringLiteral("signed in as %1; folder \"%2\" holds %3 message(s)")
                                 .arg(account.credentials.userName, account.folder)
                                 .arg(result.messages));
    else report.fail(subject, result.warning);
}

}  // namespace

int runCheck(const QString& dataLinkPath, const Settings& settings, std::FILE* out) {
    Report report(out);
    const auto finish = [&] {
        const QString last =
            report.failed() == 0
                ? QCoreApplication::translate("CheckCommand", "all %1 checks hold").arg(report.total())
                : QCoreApplication::translate("CheckCommand",
                                              "%1 of %2 checks failed; change what the lines marked \u2717 name")
                      .arg(report.failed())
                      .arg(report.total());
        std::fprintf(out, "velocast: %s\n", last.toUtf8().constData());
        std::fflush(out);
        return report.failed() == 0 ? int(kExitSuccess) : int(kExitConfiguration);
    };
    // velocast.conf was read before this runs: a file it cannot use has ended the program.
    QString unusable;
    const auto policy = tlsPolicyFromSettings(settings, &unusable);
    const auto oauth = oauthSettings(settings, &unusable);
    const QString conf = settings.fileForMessages();
    report.pass(
        conf,
        QStringLiteral("%1%2").arg(
            QFileInfo::exists(conf) ? QCoreApplication::translate("CheckCommand", "read")
                                    : QCoreApplication::translate("CheckCommand", "not there: the defaults hold"),
            oauth ? QCoreApplication::translate("CheckCommand", "; OAuth 2.0 sign-in with %1").arg(oauth->provider)
                  : QString()));

    SharedConnection connection(dataLinkPath, QStringLiteral("check"));
    try {
        connection.open();
    } catch (const DbError& e) {
        report.fail(
            QCoreApplication::translate("CheckCommand", "data-link file %1").arg(dataLinkPath),
            QCoreApplication::translate("CheckCommand", "%1 (change the file, or name another with --data-link FILE)")
                .arg(e.message()));
        return finish();
    }
    report.pass(QCoreApplication::translate("CheckCommand", "data-link file %1").arg(dataLinkPath),
                QCoreApplication::translate("CheckCommand", "the database opens"));

    Dataset controle(QStringLiteral("TBLCONTROLE"));
    if (openTable(report, connection, controle, QStringLiteral("Qzcvar"))) {
        if (controle.eof())
            report.fail(QStringLiteral("Qzcvar"),
                        QCoreApplication::translate("CheckCommand",
                                                    "the settings table has no row; the club's system writes it"));
        else report.pass(QStringLiteral("Qzcvar"), QCoreApplication::translate("CheckCommand", "one settings row"));
    }
    checkCashSession(report, connection);

    Dataset controle2(QStringLiteral("TBLCONTROLE2"));
    if (!openTable(report, connection, controle2, QStringLiteral("Qzcvar2"))) return finish();
    if (controle2.eof()) {
        report.fail(QStringLiteral("Qzcvar2"),
                    QCoreApplication::translate("CheckCommand",
                                                "the settings table has no row, so no campaign and no SMTP "
                                                "account; the club's system writes it"));
        return finish();
    }
    const SmtpAccount account = readSmtpAccount(controle2);
    const bool reachable = checkAccount(report, account, oauth.has_value());
    // Pictures may come from the user's own folder only where the tray program runs.
    checkCampaigns(report, controle2, attachmentPolicy(settings, dataLinkPath, missingDisplay().isEmpty()));
    if (reachable) checkServer(report, account, policy.value_or(mail::TlsPolicy{}));
    checkMailbox(report, settings, account, policy.value_or(mail::TlsPolicy{}), oauth, dataLinkPath);
    controle2.close();
    controle.close();
    connection.close();
    return finish();
}

}  // namespace velocast
