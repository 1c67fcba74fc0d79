#pragma once
// One complete SMTP reply: "250-first", "250-second", "250 last" read as code 250 and the
// three text lines. A line without a three-digit code ends the reply with code 0.
#include "mail/smtp/smtp_channel.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace velocast::mail {

struct SmtpReply {
    int code = 0;
    QList<QByteArray> lines;  // the text after "ddd-" / "ddd ", one entry per line

    QStringList textLines() const;
    // The reply's text as raised to the caller: its lines joined by CR LF.
    QString text() const;
};

// Reads lines until the final one; every raw line goes to onLine first (for the dialogue log).
SmtpReply readReply(SmtpChannel& channel, Deadline deadline,
                    const std::function<void(const QByteArray&)>& onLine);

}  // namespace velocast::mail
