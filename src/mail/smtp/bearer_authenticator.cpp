#include "mail/smtp/bearer_authenticator.h"

#include "mail/sasl/sasl_bearer.h"
#include "mail/smtp/smtp_error.h"

#include <memory>

namespace velocast::mail {

namespace {

// Both mechanisms answer at most one error challenge; more is a server going round in circles.
constexpr int kMaxChallenges = 4;

struct Attempt {
    SmtpReply reply;
    std::optional<BearerRefusal> refusal;
};

Attempt offerToken(SaslExchange& exchange, SaslBearerMechanism& mechanism) {
    const QByteArray command = "AUTH " + mechanism.name();
    const QByteArray initial = mechanism.initialResponse({}).value_or(QByteArray());
    Attempt attempt{exchange.command(command + ' ' + initial.toBase64(), command + " ****"), std::nullopt};
    for (int step = 0; attempt.reply.code == 334; ++step) {
        if (step >= kMaxChallenges) {
            attempt.reply = exchange.command("*", "*");
            break;
        }
        const QByteArray challenge = QByteArray::fromBase64(attempt.reply.lines.value(0).trimmed());
        const QByteArray answer = mechanism.answer(step, challenge, {}).value_or(QByteArray());
        attempt.reply = exchange.command(answer.toBase64(), answer.isEmpty() ? QByteArray() : QByteArray("****"));
    }
    attempt.refusal = mechanism.refusal();
    return attempt;
}

}  // namespace

QString bearerMechanismFor(const QStringList& serverMechanisms) {
    for (const char* name : {"OAUTHBEARER", "XOAUTH2"})
        if (serverMechanisms.contains(QLatin1String(name))) return QLatin1String(name);
    return QString();
}

QString authenticateBearer(SaslExchange& exchange, const QStringList& capabilities, const BearerSignIn& signIn,
                           const QString& host, quint16 port) {
    const QStringList offered = serverSaslMechanisms(capabilities);
    const QString name = bearerMechanismFor(offered);
    if (name.isEmpty())
        throw SmtpError(
            QStringLiteral("The server offers neither OAUTHBEARER nor XOAUTH2 (AUTH %1), so it cannot take an "
                           "OAuth 2.0 access token: check %2, or remove the [oauth] section from "
                           "velocast.conf to sign in with %3 and %4")
                .arg(offered.isEmpty() ? QStringLiteral("not offered") : offered.join(QLatin1Char(' ')),
                     exchange.settingName(SmtpSetting::Server), exchange.settingName(SmtpSetting::UserName),
                     exchange.settingName(SmtpSetting::Password)));
    if (signIn.userName.isEmpty())
        throw SmtpError(QStringLiteral("%1 is empty: an OAuth 2.0 sign-in needs the mailbox to send as in %1")
                            .arg(exchange.settingName(SmtpSetting::UserName)));
    Attempt attempt;
    bool renewed = false;
    for (int round = 0; round < 2; ++round) {
        renewed = round > 0;
        const BearerCredentials credentials{signIn.userName, signIn.accessToken(round > 0), host, port};
        std::unique_ptr<SaslBearerMechanism> mechanism;
        if (name == QLatin1String("OAUTHBEARER")) mechanism = std::make_unique<SaslOauthBearer>(credentials);
        else mechanism = std::make_unique<SaslXoauth2>(credentials);
        attempt = offerToken(exchange, *mechanism);
        if (attempt.reply.code == 235) return name;
        // Only a refused token is worth a new one; a server that is busy or refuses the
        // mechanism itself would refuse the next token too.
        if (attempt.reply.code != 535 && !attempt.refusal) break;
    }
    QString detail = name;
    if (attempt.refusal) {
        detail += QStringLiteral(": status %1")
                      .arg(attempt.refusal->status.isEmpty() ? QStringLiteral("?") : attempt.refusal->status);
        if (!attempt.refusal->scope.isEmpty()) detail += QStringLiteral(", scope %1").arg(attempt.refusal->scope);
    }
    SmtpError error(
        QStringLiteral("%1 (%2; the server refused the access token for %3%4: check that the application "
                       "registered at the provider may send as this mailbox and that [oauth] scope names SMTP)")
            .arg(attempt.reply.text(), detail, signIn.userName,
                 renewed ? QStringLiteral(" even after a new one was fetched") : QString()));
    error.setRefusal(QStringLiteral("AUTH"), attempt.reply.code, attempt.reply.enhancedCode());
    throw error;
}

}  // namespace velocast::mail
