#include "shell/single_instance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

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

QString instanceName(const QString& identity, const QString& user, const QString& display) {
    QString name = identity + QLatin1Char('-') + user;
    if (!display.isEmpty()) name += QLatin1Char('-') + display;
    for (QChar& c : name) {
        const bool safe = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                          (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char('_');
        if (!safe) c = QLatin1Char('_');
    }
    return name;
}

QString currentUser() {
#ifdef Q_OS_UNIX
    // The numeric id: a user name can be missing from the environment of a service.
    return QStringLiteral("u%1").arg(::getuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

QString currentDisplay() {
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("DISPLAY");
        // ":0" and ":0.0" are the same desktop: the screen number is not part of it.
        const int colon = display.lastIndexOf(QLatin1Char(':'));
        const int dot = display.indexOf(QLatin1Char('.'), colon < 0 ? 0 : colon);
        if (colon >= 0 && dot > colon) display.truncate(dot);
    }
    return display;
}

SingleInstance::SingleInstance(QString name, QString folder, QObject* parent)
    : QObject(parent), name_(std::move(name)), folder_(std::move(folder)) {
    if (folder_.isEmpty()) {
        QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
#ifdef Q_OS_UNIX
        // A copy started without a login session (cron, a bare shell) must find the same name
        // as the one started on the desktop.
        if (runtime.isEmpty()) runtime = QStringLiteral("/run/user/%1").arg(::getuid());
#endif
        folder_ = QFileInfo(runtime).isDir() ? runtime : QDir::tempPath();
    }
    // No socket options: with them Qt binds elsewhere and renames the socket into place,
    // which would silently replace the first copy's name instead of failing.
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

SingleInstance::~SingleInstance() { release(); }

QString SingleInstance::serverPath() const { return QDir(folder_).filePath(name_); }

SingleInstance::Outcome SingleInstance::acquire(QString* error) {
    // Copies that start together take turns here, so that between finding a stale name and
    // taking it over no other copy can take it first.
    QLockFile lock(serverPath() + QStringLiteral(".lock"));
    if (!lock.tryLock(kAnswerMs)) {
        *error = QStringLiteral("could not lock %1").arg(lock.fileName());
        return Outcome::Failed;
    }
    if (server_.listen(serverPath())) return Outcome::First;
    if (server_.serverError() != QAbstractSocket::AddressInUseError) {
        *error = server_.errorString();
        return Outcome::Failed;
    }
    QLocalSocket other;
    other.connectToServer(serverPath());
    if (other.waitForConnected(kAnswerMs)) {
        other.write(kRaiseRequest);
        other.waitForBytesWritten(kAnswerMs);
        other.disconnectFromServer();
        return Outcome::AnotherRuns;
    }
    if (other.error() != QLocalSocket::ConnectionRefusedError && other.error() != QLocalSocket::ServerNotFoundError) {
        *error = other.errorString();
        return Outcome::Failed;
    }
    // Nobody listens: a copy that crashed left its name behind.
    QLocalServer::removeServer(serverPath());
    if (server_.listen(serverPath())) return Outcome::First;
    *error = server_.errorString();
    return Outcome::Failed;
}

void SingleInstance::release() {
    if (server_.isListening()) server_.close();
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // Only a whole request counts; anything else on the socket is ignored.
            if (socket->canReadLine() && socket->readLine() == kRaiseRequest) emit raiseRequested();
        });
    }
}

}  // namespace velocast
