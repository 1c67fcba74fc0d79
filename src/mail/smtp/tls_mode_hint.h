#pragma once
// What to change when a session failed because its TLS mode does not suit the server: a
// server on the TLS port waits silently for a handshake the client never starts, and looks
// hung; a server that insists on STARTTLS refuses the plain session. The club fixes this in
// the account's settings, so the hint names the setting and the value to write.
#include "mail/smtp/smtp_error.h"
#include "mail/smtp/smtp_tls_mode.h"

#include <QString>

namespace velocast::mail {

// The port on which servers speak TLS from the first byte (submissions, RFC 8314).
constexpr quint16 kImplicitTlsPort = 465;

struct TlsModeSymptoms {
    TlsMode mode = TlsMode::Explicit;
    quint16 port = 25;
    SmtpStep step = SmtpStep::None;
    int replyCode = 0;
    QString replyText;          // the reply's text, or the failure's message without a reply
    bool tlsBytesSeen = false;  // the server sent a TLS record where a reply belonged
    bool timedOut = false;
};

// One sentence naming the TLS mode setting (as `modeSetting` names it) and the value to
// write, or empty when the failure does not point at the TLS mode.
QString tlsModeHint(const TlsModeSymptoms& symptoms, const QString& modeSetting);

// True when `bytes` begin like a TLS record (a handshake or an alert), not like an SMTP reply.
bool looksLikeTlsRecord(const QByteArray& bytes);

}  // namespace velocast::mail
