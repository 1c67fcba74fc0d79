#pragma once
// How far the SMTP server is trusted: the machine's own choice (velocast.conf), never the
// club database's, so that whoever can write a settings row cannot turn verification off.
#include <QString>
#include <QStringList>

namespace velocast::mail {

enum class TlsVerification {
    System,  // the chain up to a trusted authority and the host name (or IP literal) checked
    Pin,     // only a server whose key is one of the pins
    Off,     // any certificate: an explicit local choice for a server that cannot be verified
};

struct TlsPolicy {
    TlsVerification verify = TlsVerification::System;
    // "sha256/<base64 of the SHA-256 of the SubjectPublicKeyInfo>" of the server's own
    // certificate. A pinned key is accepted under verify System as well.
    QStringList pins;
    // TLS 1.0 and 1.1, security level 0, legacy renegotiation and the old wide cipher list,
    // for servers that offer nothing newer. Off: TLS 1.2 at least, security level 2.
    bool legacy = false;
    // A PEM bundle of authorities trusted besides the system's store.
    QString caFile;
    // Where the choices above are written, for the advice in error texts.
    QString settingsFile = QStringLiteral("velocast.conf");
};

// "sha256/AbC...=": whether a pin is written in the form the policy understands.
bool isWellFormedPin(const QString& pin);

}  // namespace velocast::mail
