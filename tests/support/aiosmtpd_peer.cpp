#include "support/aiosmtpd_peer.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <stdexcept>

#include "support/velocast_process.h"

namespace velocast::mail::testing {

namespace {

QString scriptPath() { return velocast::testing::supportScriptPath(QStringLiteral("aiosmtpd_server.py")); }

}  // namespace

AiosmtpdPeer::AiosmtpdPeer(Mode mode, const QString& user, const QString& password,
                           const QStringList& excludedMechanisms, const QStringList& refusedRecipients,
                           const QStringList& certificateNames)
    : certificate_(certificateNames) {
    QStringList arguments{scriptPath(),
                          QStringLiteral("--mode"),
                          mode == Mode::StartTls ? QStringLiteral("starttls") : QStringLiteral("implicit"),
                          QStringLiteral("--cert"),
                          certificate_.certificatePath(),
                          QStringLiteral("--key"),
                          certificate_.keyPath(),
                          QStringLiteral("--user"),
                          user,
                          QStringLiteral("--password"),
                          password};
    if (mode == Mode::ImplicitTls1Only) arguments << QStringLiteral("--tls1-only");
    for (const QString& name : excludedMechanisms) arguments << QStringLiteral("--exclude") << name;
    for (const QString& refusal : refusedRecipients) arguments << QStringLiteral("--refuse") << refusal;
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral("/usr/bin/python3"), arguments);
    const QByteArray first = nextEvent();
    if (!first.startsWith("PORT ")) throw std::runtime_error("aiosmtpd did not start: " + first.toStdString());
    port_ = static_cast<quint16>(first.mid(5).toUInt());
}

AiosmtpdPeer::~AiosmtpdPeer() {
    process_.closeWriteChannel();  // the server stops when its standard input closes
    if (!process_.waitForFinished(10000)) process_.kill();
    process_.waitForFinished();
}

QByteArray AiosmtpdPeer::nextEvent(int waitMs) {
    while (!process_.canReadLine())
        if (!process_.waitForReadyRead(waitMs)) return "!no event";
    return process_.readLine().trimmed();
}

QJsonObject AiosmtpdPeer::nextMessage(int waitMs) {
    QByteArray event;
    do event = nextEvent(waitMs);
    while (!event.startsWith("MESSAGE ") && !event.startsWith('!'));
    if (event.startsWith('!')) return {};
    QJsonObject message = QJsonDocument::fromJson(event.mid(8)).object();
    message[QStringLiteral("data")] =
        QString::fromLatin1(QByteArray::fromBase64(message.value(QStringLiteral("data")).toString().toLatin1()));
    return message;
}

}  // namespace velocast::mail::testing
