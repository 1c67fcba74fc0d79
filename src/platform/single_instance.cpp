#include "platform/single_instance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>

#include "platform/identity_digest.h"

namespace velocast {

namespace {
const QByteArray kRaiseRequest = QByteArrayLiteral("raise\n");
constexpr int kAnswerMs = 5000;
}  // namespace

QString programIdentity(const QString& executablePath) {
    QString name = QFileInfo(executablePath).fileName();
    name = name.left(name.indexOf(QLatin1Char('.')) < 0 ? name.size() : name.indexOf(QLatin1Char('.')));
    if (name.isEmpty()) return name;
    return name.left(1) + name.mid(1).toLower();
}

QString instanceName(const QString& identity, const QString& databaseIdentity) {
    QString name = identity;
    for (QChar& c : name) {
        const bool safe =
            (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
            (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char('_');
        if (!safe) c = QLatin1Char('_');
    }
    return name + QLatin1Char('-') + identityDigest(databaseIdentity, 20);
}

SingleInstance::SingleInstance(QString name, QString folder, QObject* parent)
    : QObject(parent), name_(std::move(name)), folder_(std::move(folder)) {
    // No socket options: with them Qt binds elsewhere and renames the socket into place,
    // which would silently replace the first copy's name instead of failing.
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

SingleInstance::~SingleInstance() { release(); }

QString SingleInstance::serverPath() const { return QDir(folder_).filePath(name_); }

QString SingleInstance::processIdPath() const { return serverPath() + QStringLiteral(".pid"); }

qint64 SingleInstance::runningProcessId() const {
    QFile file(processIdPath());
    if (!file.open(QIODevice::ReadOnly)) return 0;
    return file.readLine(32).trimmed().toLongLong();
}

SingleInstance::Outcome SingleInstance::listening() {
    // Written while the lock file is held, so a later copy reads the id of the copy that
    // holds the name now.
    QFile file(processIdPath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n');
    return Outcome::First;
}

// Asks a copy that answers on the name to bring its window up. False when none answers;
// `error` is set when the answer was neither a connection nor a plain "nobody there".
bool SingleInstance::askRunningCopy(QString* error) const {
    QLocalSocket other;
    other.connectToServer(serverPath());
    if (other.waitForConnected(kAnswerMs)) {
        other.write(kRaiseRequest);
        other.waitForBytesWritten(kAnswerMs);
        other.disconnectFromServer();
        return true;
    }
    if (other.error() != QLocalSocket::ConnectionRefusedError && other.error() != QLocalSocket::ServerNotFoundError)
        *error = other.errorString();
    return false;
}

SingleInstance::Outcome SingleInstance::acquire(QString* error) {
    // Copies that start together take turns here, so that between finding a stale name and
    // taking it over no other copy can take it first.
    QLockFile lock(serverPath() + QStringLiteral(".lock"));
    if (!lock.tryLock(kAnswerMs)) {
        *error = QStringLiteral("could not lock %1").arg(lock.fileName());
        return Outcome::Failed;
    }
    // Windows lets a second server listen on a pipe name that is taken (the connections then
    // go to either): a copy that answers on the name is asked before listening, everywhere.
    QString unanswered;
    if (askRunningCopy(&unanswered)) return Outcome::AnotherRuns;
    if (!unanswered.isEmpty()) {
        *error = unanswered;
        return Outcome::Failed;
    }
    if (server_.listen(serverPath())) return listening();
    if (server_.serverError() != QAbstractSocket::AddressInUseError) {
        *error = server_.errorString();
        return Outcome::Failed;
    }
    // The name is taken and nobody answered on it: a copy that crashed left it behind.
    QLocalServer::removeServer(serverPath());
    if (server_.listen(serverPath())) return listening();
    *error = server_.errorString();
    return Outcome::Failed;
}

void SingleInstance::release() {
    if (!server_.isListening()) return;
    // The id first: once the name is free, the next copy writes its own.
    QFile::remove(processIdPath());
    server_.close();
    // On Windows the name lives as long as any pipe of it is open: a request's connection
    // not yet torn down would hold it, and the next copy would wait on it in vain.
    for (QLocalSocket* connection : server_.findChildren<QLocalSocket*>()) {
        connection->abort();
        connection->deleteLater();
    }
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        // Only a whole request counts; anything else on the socket is ignored. It may have
        // come (and its sender gone) before these connections are made, as Windows' pipes
        // read ahead on a thread of their own: what is there is looked at now and at the end.
        const auto take = [this, socket] {
            if (socket->canReadLine() && socket->readLine() == kRaiseRequest) emit raiseRequested();
        };
        connect(socket, &QLocalSocket::readyRead, this, take);
        connect(socket, &QLocalSocket::disconnected, this, take);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        take();
    }
}

}  // namespace velocast
