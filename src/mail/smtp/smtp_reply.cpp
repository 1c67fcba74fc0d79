#include "mail/smtp/smtp_reply.h"

#include <cctype>

namespace velocast::mail {

namespace {

bool hasCode(const QByteArray& line) {
    return line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0])) &&
           std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2]));
}

}  // namespace

QStringList SmtpReply::textLines() const {
    QStringList texts;
    for (const QByteArray& line : lines)
        texts << QString::fromUtf8(line);
    return texts;
}

QString SmtpReply::text() const { return textLines().join(QStringLiteral("\r\n")); }

SmtpReply readReply(SmtpChannel& channel, Deadline deadline,
                    const std::function<void(const QByteArray&)>& onLine) {
    SmtpReply reply;
    for (;;) {
        const QByteArray line = channel.readLine(deadline);
        if (onLine)
            onLine(line);
        if (!hasCode(line)) {
            reply.code = 0;
            reply.lines << line;
            return reply;
        }
        reply.code = line.left(3).toInt();
        reply.lines << line.mid(4);
        if (line.size() < 4 || line[3] != '-')
            return reply;
    }
}

}  // namespace velocast::mail
