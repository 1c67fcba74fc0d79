#pragma once
// The hand-over between message composition and the SMTP session: everything the session
// needs to submit one e-mail. Composition fills it; the session only reads it.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace velocast::mail {

struct ComposedMessage {
    // The From address as set on the message; MAIL FROM uses it without surrounding blanks.
    QString fromAddress;
    // The To list after recipient parsing; one RCPT TO each, in this order.
    QStringList recipients;
    // What goes between DATA and the final ".": one entry per line, without CR LF and not
    // yet dot-stuffed (the session adds the CR LF and the extra leading ".").
    QList<QByteArray> lines;
};

}  // namespace velocast::mail
