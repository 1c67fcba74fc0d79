#include "mail/smtp/sasl_authenticator.h"

#include "mail/sasl/sasl_cram.h"
#include "mail/sasl/sasl_digest_md5.h"
#include "mail/sasl/sasl_one_time.h"
#include "mail/sasl/sasl_simple.h"
#include "mail/smtp/smtp_error.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>

namespace velocast::mail {

namespace {

// The client's mechanism list. Candidates are taken walking it from the end, so the order
// tried is DIGEST-MD5, SKEY, PLAIN, OTP, LOGIN, CRAM-SHA1, CRAM-MD5.
constexpr std::array<const char*, 14> kMechanismList{"CRAM-MD5", "DIGEST-MD5", "SKEY",     "PLAIN",     "OTP",
                                                     "LOGIN",    "CRAM-SHA1",  "CRAM-MD5", "CRAM-SHA1", "LOGIN",
                                                     "OTP",      "PLAIN",      "SKEY",     "DIGEST-MD5"};

// A server that keeps sending 334 would otherwise hold the session for ever.
constexpr int kMaxChallenges = 16;

std::unique_ptr<SaslMechanism> makeMechanism(const QString& name, const QString& host) {
    if (name == QLatin1String("PLAIN")) return std::make_unique<SaslPlain>();
    if (name == QLatin1String("LOGIN")) return std::make_unique<SaslLogin>();
    if (name == QLatin1String("CRAM-MD5")) return std::make_unique<SaslCram>(SaslCram::Digest::Md5);
    if (name == QLatin1String("CRAM-SHA1")) return std::make_unique<SaslCram>(SaslCram::Digest::Sha1);
    if (name == QLatin1String("DIGEST-MD5")) return std::make_unique<SaslDigestMd5>(host);
    if (name == QLatin1String("OTP")) return std::make_unique<SaslOtp>();
    return std::make_unique<SaslSkey>();
}

// How well a mechanism keeps the password from someone who reads the connection.
int protection(const QString& name) {
    if (name == QLatin1String("DIGEST-MD5") || name.startsWith(QLatin1String("CRAM-")))
        return 2;  // challenge-response: only a digest travels
    if (name == QLatin1String("SKEY") || name == QLatin1String("OTP"))
        return 1;  // a one-time password, of no use once spent
    return 0;      // the password itself
}

}  // namespace

QStringList serverSaslMechanisms(const QStringList& capabilities) {
    QStringList names;
    for (const QString& line : capabilities) {
        if (line.size() < 5 || !line.startsWith(QLatin1String("AUTH"), Qt::CaseInsensitive) ||
            (line[4] != QLatin1Char(' ') && line[4] != QLatin1Char('=')))
            continue;
        const QString rest = line.mid(5).toUpper().replace(QLatin1Char('='), QLatin1Char(' '));
        for (const QString& name : rest.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            if (!names.contains(name)) names << name;
    }
    return names;
}

QStringList saslCandidates(const QStringList& serverMechanisms, bool channelEncrypted) {
    QStringList candidates;
    for (auto it = kMechanismList.rbegin(); it != kMechanismList.rend(); ++it) {
        const QString name = QLatin1String(*it);
        if (serverMechanisms.contains(name) && !candidates.contains(name)) candidates << name;
    }
    if (!channelEncrypted)
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const QString& a, const QString& b) { return protection(a) > protection(b); });
    return candidates;
}

void authenticateSasl(SaslExchange& exchange, const QStringList& capabilities, const SaslCredentials& credentials,
                      const QString& host, bool fipsMode, bool channelEncrypted) {
    const QStringList candidates = saslCandidates(serverSaslMechanisms(capabilities), channelEncrypted);
    if (candidates.isEmpty()) throw SmtpError(QStringLiteral("Doesn't support AUTH or the specified SASL handlers!!"));
    std::optional<QString> firstRejection;
    int refusedProtection = -1;
    QStringList notTried;
    for (const QString& name : candidates) {
        const std::unique_ptr<SaslMechanism> mechanism = makeMechanism(name, host);
        if (!mechanism->isReady(credentials, fipsMode)) continue;
        if (!channelEncrypted && refusedProtection > protection(name)) {
            notTried << name;
            continue;
        }
        if (!channelEncrypted && refusedProtection < 0)
            exchange.warning(
                QStringLiteral("signing in to %1 with %2 over a connection without TLS: the password's protection is "
                               "weak (%3). Use %4 = utUseRequireTLS or utUseImplicitTLS if the server offers TLS.")
                    .arg(host, name,
                         protection(name) == 0 ? QStringLiteral("it travels readable by anyone on the way")
                                               : QStringLiteral("what travels can be used to guess it"),
                         exchange.settingName(SmtpSetting::TlsMode)));
        const QByteArray command = "AUTH " + mechanism->name();
        const std::optional<QByteArray> initial = mechanism->initialResponse(credentials);
        SmtpReply reply = initial ? exchange.command(command + ' ' + initial->toBase64(), command + " ****")
                                  : exchange.command(command, command);
        bool cancelled = false;
        for (int step = 0; reply.code == 334 && !cancelled; ++step) {
            const QByteArray challenge = QByteArray::fromBase64(reply.lines.value(0).trimmed());
            const std::optional<QByteArray> answer =
                step < kMaxChallenges ? mechanism->answer(step, challenge, credentials) : std::nullopt;
            cancelled = !answer;
            // After "*" the exchange is over whatever the server says next.
            reply = answer ? exchange.command(answer->toBase64(), "****") : exchange.command("*", "*");
        }
        if (reply.code == 235) {
            // A success the server has not proven is no success: it may not be the club's.
            if (!mechanism->problem().isEmpty()) throw SmtpError(mechanism->problem());
            return;
        }
        if (!firstRejection)
            firstRejection = cancelled && !mechanism->problem().isEmpty() ? mechanism->problem() : reply.text();
        if (!channelEncrypted) refusedProtection = std::max(refusedProtection, protection(name));
    }
    if (!firstRejection) throw SmtpError(QStringLiteral("The specified SASL handlers are not ready!!"));
    if (!notTried.isEmpty())
        throw SmtpError(QStringLiteral("%1\r\n%2 not tried: without TLS a refused mechanism is not followed by one "
                                       "that protects the password less.")
                            .arg(*firstRejection, notTried.join(QStringLiteral(", "))));
    throw SmtpError(*firstRejection);
}

}  // namespace velocast::mail
