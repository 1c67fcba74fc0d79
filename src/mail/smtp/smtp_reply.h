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

// Server text as it may reach a terminal or a window: every control character (C0, DEL, C1)
// written as "\xHH", so that a server cannot move the cursor, recolour the screen or forge
// lines of its own. keepLineBreaks: CR, LF and tab stay (for a text shown in a window).
QString printableText(const QString& text, bool keepLineBreaks = false);

struct SmtpReply {
    int code = 0;
    QList<QByteArray> lines;  // the text after "ddd-" / "ddd ", one entry per line

    // The lines as text (UTF-8), through printableText.
    QStringList textLines() const;
    // The reply's text as raised to the caller: its lines joined by CR LF.
    QString text() const;
    // The enhanced status code ("5.1.1") at the start of the first line, when the reply has
    // one whose class matches the reply code's first digit; empty otherwise.
    QString enhancedCode() const;
};

// A server that never ends its reply must not grow the program without bound: a reply is
// refused (SmtpError) past this many lines or bytes, CR LF included. Real replies, EHLO
// with every extension included, are a few dozen lines.
constexpr qsizetype kMaxReplyLines = 1000;
constexpr qsizetype kMaxReplyBytes = 64 * 1024;

// Reads lines until the final one; every raw line goes to onLine first (for the dialogue log).
SmtpReply readReply(SmtpChannel& channel, Deadline deadline, const std::function<void(const QByteArray&)>& onLine);

}  // namespace velocast::mail
