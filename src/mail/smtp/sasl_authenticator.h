#pragma once
// SMTP AUTH (RFC 4954): choose among the mechanisms the server announces and run them in a
// fixed order until one succeeds.
#include "mail/sasl/sasl_mechanism.h"
#include "mail/smtp/smtp_reply.h"
#include "mail/smtp/smtp_setting.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace velocast::mail {

// What the exchange needs from the session: write one command line and read its reply.
// shownAs is how the line appears in the dialogue log (credentials masked).
class SaslExchange {
public:
    virtual ~SaslExchange() = default;
    virtual SmtpReply command(const QByteArray& line, const QByteArray& shownAs) = 0;
    // Something the person running the program should know (a weakly protected password).
    virtual void warning(const QString&) {}
    // How the person who keeps the account knows `setting`, for advice that names it.
    virtual QString settingName(SmtpSetting setting) const { return plainSettingName(setting); }
};

// The names after "AUTH " or "AUTH=" in the capability lines, upper case, without duplicates.
QStringList serverSaslMechanisms(const QStringList& capabilities);

// The client's mechanisms that the server named, in the order they are tried. Over a channel
// without TLS the ones that never show the password go first: challenge-response (DIGEST-MD5,
// CRAM-SHA1, CRAM-MD5), then the one-time passwords (SKEY, OTP), then PLAIN and LOGIN.
QStringList saslCandidates(const QStringList& serverMechanisms, bool channelEncrypted = true);

// Runs the exchange; returns on the first 235 and raises SmtpError otherwise:
// "Doesn't support AUTH or the specified SASL handlers!!" (nothing in common),
// "The specified SASL handlers are not ready!!" (none could start), or the text of the first
// rejection. host is the configured server name (DIGEST-MD5's digest-uri). Without TLS a
// refusal is never followed by a mechanism that protects the password less: otherwise a
// hostile server would refuse until it is given the password itself.
void authenticateSasl(SaslExchange& exchange, const QStringList& capabilities, const SaslCredentials& credentials,
                      const QString& host, bool fipsMode, bool channelEncrypted = true);

}  // namespace velocast::mail
