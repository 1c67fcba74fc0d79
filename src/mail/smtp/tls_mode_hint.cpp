#include "mail/smtp/tls_mode_hint.h"

namespace velocast::mail {

bool looksLikeTlsRecord(const QByteArray& bytes) {
    // Content type 21 (alert) or 22 (handshake), then major version 3.
    return bytes.size() >= 2 && (bytes[0] == '\x15' || bytes[0] == '\x16') && bytes[1] == '\x03';
}

QString tlsModeHint(const TlsModeSymptoms& s, const QString& modeSetting) {
    const QString toImplicit =
        QStringLiteral("Set %1 to utUseImplicitTLS for port %2 (or use port 587 with utUseExplicitTLS).");
    if (s.mode != TlsMode::Implicit) {
        if (s.port == kImplicitTlsPort && (s.step == SmtpStep::None || s.step == SmtpStep::Greeting))
            return toImplicit.arg(modeSetting, QString::number(s.port));
        if (s.step == SmtpStep::Greeting && s.tlsBytesSeen)
            return QStringLiteral(
                       "The server answered with TLS instead of a greeting: set %1 to "
                       "utUseImplicitTLS (or use its STARTTLS port, usually 587, with utUseExplicitTLS).")
                .arg(modeSetting);
        if (s.step == SmtpStep::Greeting && s.timedOut)
            return QStringLiteral(
                       "A server that expects TLS from the first byte sends no greeting: if this is one, "
                       "set %1 to utUseImplicitTLS.")
                .arg(modeSetting);
    }
    if (s.mode == TlsMode::None && s.replyCode == 530 &&
        s.replyText.contains(QLatin1String("STARTTLS"), Qt::CaseInsensitive))
        return QStringLiteral("The server takes mail only after STARTTLS: set %1 to utUseExplicitTLS.")
            .arg(modeSetting);
    if (s.mode == TlsMode::Implicit && s.step == SmtpStep::Connect && s.port != kImplicitTlsPort &&
        s.replyText.startsWith(QLatin1String("Error connecting with SSL.")) &&
        !s.replyText.contains(QLatin1String("legacy = yes")))
        return QStringLiteral(
                   "If the server greets in plain text first (ports 25 and 587), set %1 to "
                   "utUseExplicitTLS.")
            .arg(modeSetting);
    return {};
}

}  // namespace velocast::mail
