#pragma once
// SMTP AUTH (RFC 4954): choose among the mechanisms the server announces and run them in a
// fixed order until one succeeds.
#include "mail/sasl/sasl_mechanism.h"
#include "mail/smtp/smtp_reply.h"

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
};

// The names after "AUTH " or "AUTH=" in the capability lines, upper case, without duplicates.
QStringList serverSaslMechanisms(const QStringList& capabilities);

// The client's mechanisms that the server named, in the order they are tried.
QStringList saslCandidates(const QStringList& serverMechanisms);

// Runs the exchange; returns on the first 235 and raises SmtpError otherwise:
// "Doesn't support AUTH or the specified SASL handlers!!" (nothing in common),
// "The specified SASL handlers are not ready!!" (none could start), or the text of the first
// rejection. host is the configured server name (DIGEST-MD5's digest-uri).
void authenticateSasl(SaslExchange& exchange, const QStringList& capabilities,
                      const SaslCredentials& credentials, const QString& host, bool fipsMode);

}  // namespace velocast::mail
