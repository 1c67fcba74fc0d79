#include "mail/smtp/smtp_reply.h"

#include "mail/smtp/smtp_error.h"

#include <QRegularExpression>
#include <cctype>

namespace velocast::mail {

namespace {

bool hasCode(const QByteArray& line) {
    return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2]));
}

}  // namespace

QString printableText(const QString& text, bool keepLineBreaks) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool lineBreak = u == u'\r' || u == u'\n' || u == u'\t';
        if ((u < 0x20 && !(keepLineBreaks && lineBreak)) || (u >= 0x7F && u <= 0x9F))
            out += QStringLiteral("\\x") + QString::number(u, 16).rightJustified(2, QLatin1Char('0')).toUpper();
        else out += c;
    }
    return out;
}

QStringList SmtpReply::textLines() const {
    QStringList texts;
    for (const QByteArray& line : lines) texts << printableText(QString::fromUtf8(line));
    return texts;
}

QString SmtpReply::text() const { return textLines().join(QStringLiteral("\r\n")); }

QString SmtpReply::enhancedCode() const {
    // class "." subject "." detail: one digit 2, 4 or 5, then one to three digits twice,
    // ended by a blank or the end of the line.
    static const QRegularExpression pattern(QStringLiteral("^([245])\\.[0-9]{1,3}\\.[0-9]{1,3}(?=[ \\t]|$)"));
    if (lines.isEmpty()) return {};
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(lines.first()));
    if (!match.hasMatch() || match.captured(1).toInt() != code / 100) return {};
    return match.captured(0);
}

SmtpReply readReply(SmtpChannel& channel, Deadline deadline, const std::function<void(const QByteArray&)>& onLine) {
    SmtpReply reply;
    qsizetype bytes = 0;
    for (;;) {
        const QByteArray line = channel.readLine(deadline);
        bytes += line.size() + 2;
        if (reply.lines.size() >= kMaxReplyLines || bytes > kMaxReplyBytes)
            throw SmtpError(QStringLiteral("The server's reply is longer than %1 lines or %2 bytes.")
                                .arg(kMaxReplyLines)
                                .arg(kMaxReplyBytes));
        if (onLine) onLine(line);
        if (!hasCode(line)) {
            reply.code = 0;
            reply.lines << line;
            return reply;
        }
        reply.code = line.left(3).toInt();
        reply.lines << line.mid(4);
        if (line.size() < 4 || line[3] != '-') return reply;
    }
}

}  // namespace velocast::mail
