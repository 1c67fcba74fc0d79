#include "support/oauth_peer.h"

#include <QDir>
#include <QFileInfo>
#include <stdexcept>

#include "support/velocast_process.h"

namespace velocast::mail::testing {

namespace {

QString scriptPath() { return velocast::testing::supportScriptPath(QStringLiteral("oauth_peer.py")); }

}  // namespace

OAuthPeer::OAuthPeer(const Options& options) {
    QStringList arguments{scriptPath(),
                          QStringLiteral("--cert"),
                          certificate_.certificatePath(),
                          QStringLiteral("--key"),
                          certificate_.keyPath(),
                          QStringLiteral("--user"),
                          options.user,
                          QStringLiteral("--client-id"),
                          options.clientId,
                          QStringLiteral("--client-secret"),
                          options.clientSecret,
                          QStringLiteral("--interval"),
                          QString::number(options.interval),
                          QStringLiteral("--device-script"),
                          options.deviceScript};
    for (const QString& name : options.excludedMechanisms) arguments << QStringLiteral("--exclude") << name;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("/usr/bin/python3"), arguments);
    const QStringList first = readUntil("PORTS ");
    if (first.isEmpty() || !first.last().startsWith(QLatin1String("PORTS ")))
        throw std::runtime_error("the OAuth peer did not start");
    const QStringList ports = first.last().split(QLatin1Char(' '));
    httpsPort_ = static_cast<quint16>(ports.value(1).toUInt());
    smtpPort_ = static_cast<quint16>(ports.value(2).toUInt());
}

OAuthPeer::~OAuthPeer() {
    process_.closeWriteChannel();  // the peer stops when its standard input closes
    if (!process_.waitForFinished(10000)) process_.kill();
    process_.waitForFinished();
}

QStringList OAuthPeer::readUntil(const QByteArray& ack) {
    QStringList lines;
    for (;;) {
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(20000)) {  // a guard against a dead peer, not a measure
                lines << QStringLiteral("!no answer");
                return lines;
            }
        const QByteArray line = process_.readLine().trimmed();
        lines << QString::fromUtf8(line);
        if (line.startsWith(ack)) return lines;
    }
}

void OAuthPeer::command(const QString& line) {
    process_.write(line.toUtf8() + '\n');
    pending_ << readUntil("ACK " + line.toUtf8());
    pending_.removeLast();
}

QStringList OAuthPeer::events() {
    command(QStringLiteral("sync"));
    QStringList out;
    out.swap(pending_);
    return out;
}

}  // namespace velocast::mail::testing
