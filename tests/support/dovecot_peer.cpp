#include "support/dovecot_peer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>
#include <grp.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace velocast::mail::testing {

namespace {

const QString kDovecot = QStringLiteral("/usr/sbin/dovecot");
const QString kDoveadm = QStringLiteral("/usr/bin/doveadm");

quint16 freePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) throw std::runtime_error("dovecot peer: no free port");
    return probe.serverPort();
}

void writeFile(const QString& path, const QByteArray& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());
    file.write(text);
}

}  // namespace

DovecotPeer::DovecotPeer(const Options& options)
    : options_(options), dir_(QDir::tempPath() + QStringLiteral("/vdc-XXXXXX")) {
    if (!dir_.isValid()) throw std::runtime_error("dovecot peer: no temporary folder");
    const QString base = dir_.path();
    for (const char* sub : {"run", "state", "mail", "home"}) QDir(base).mkpath(QLatin1String(sub));

    // Dovecot will not run its login or mail processes as root: under root they run as nobody,
    // who must then be able to reach the folders and own the mail.
    const bool root = geteuid() == 0;
    const passwd* self = getpwuid(geteuid());
    const passwd* nobody = root ? getpwnam("nobody") : nullptr;
    if (!self || (root && !nobody)) throw std::runtime_error("dovecot peer: no user to run as");
    const QString runAs = QString::fromLocal8Bit(self->pw_name);
    const group* ownGroup = getgrgid(self->pw_gid);
    if (!ownGroup) throw std::runtime_error("dovecot peer: no group to run as");
    const QString runAsGroup = QString::fromLocal8Bit(ownGroup->gr_name);
    const QString loginUser = root ? QString::fromLocal8Bit(nobody->pw_name) : runAs;
    const uid_t mailUid = root ? nobody->pw_uid : self->pw_uid;
    const gid_t mailGid = root ? nobody->pw_gid : self->pw_gid;
    if (root) {
        ::chmod(QFile::encodeName(base).constData(), 0755);
        for (const char* sub : {"mail", "home"})
            if (::chown(QFile::encodeName(base + QLatin1Char('/') + QLatin1String(sub)).constData(), mailUid,
                        mailGid) != 0)
                throw std::runtime_error("dovecot peer: cannot hand the mail folder to nobody");
    }

    imapPort_ = freePort();
    imapsPort_ = freePort();
    writeFile(base + QStringLiteral("/passwd"),
              QStringLiteral("%1:{PLAIN}%2::::::\n").arg(options.user, options.password).toUtf8());
    QString oauth;
    if (!options.introspectionUrl.isEmpty()) {
        writeFile(base + QStringLiteral("/oauth2.conf"), QStringLiteral("introspection_mode = post\n"
                                                                        "introspection_url = %1\n"
                                                                        "force_introspection = yes\n"
                                                                        "username_attribute = username\n"
                                                                        "active_attribute = active\n"
                                                                        "active_value = true\n"
                                                                        "tls_ca_cert_file = %2\n")
                                                             .arg(options.introspectionUrl, testCaPath())
                                                             .toUtf8());
        oauth = QStringLiteral(
                    "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = %1/oauth2.conf\n}\n")
                    .arg(base);
    }
    const QString config =
        QStringLiteral(
            "base_dir = %1/run\n"
            "state_dir = %1/state\n"
            "log_path = %1/log\n"
            "protocols = imap\n"
            "listen = 127.0.0.1\n"
            "ssl = yes\n"
            "ssl_cert = <%2\n"
            "ssl_key = <%3\n"
            "default_login_user = %4\n"
            "default_internal_user = %5\n"
            "default_internal_group = %6\n"
            "first_valid_uid = 0\n"
            "disable_plaintext_auth = yes\n"
            "auth_verbose = yes\n"
            // A refused sign-in is answered at once: the tests refuse some on purpose.
            "auth_failure_delay = 0\n"
            "auth_mechanisms = %13\n"
            "mail_location = maildir:%1/mail/%u\n"
            "passdb {\n  driver = passwd-file\n  args = %1/passwd\n}\n"
            "%7"
            "userdb {\n  driver = static\n  args = uid=%8 gid=%9 home=%1/home/%u\n}\n"
            "service imap-login {\n  chroot =\n"
            "  inet_listener imap {\n    port = %10\n  }\n"
            "  inet_listener imaps {\n    port = %11\n    ssl = yes\n  }\n}\n"
            "service auth {\n  chroot =\n}\n"
            "service anvil {\n  chroot =\n}\n"
            "%12")
            .arg(base, certificate_.certificatePath(), certificate_.keyPath(), loginUser, runAs, runAsGroup, oauth,
                 QString::number(mailUid), QString::number(mailGid))
            .arg(imapPort_)
            .arg(imapsPort_)
            .arg(options.capabilities.isEmpty()
                     ? QString()
                     : QStringLiteral("protocol imap {\n  imap_capability = %1\n}\n").arg(options.capabilities))
            .arg(options.authMechanisms);
    writeFile(base + QStringLiteral("/dovecot.conf"), config.toUtf8());

    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(kDovecot, {QStringLiteral("-F"), QStringLiteral("-c"), base + QStringLiteral("/dovecot.conf")});
    if (!process_.waitForStarted()) throw std::runtime_error("dovecot peer: cannot start " + kDovecot.toStdString());
    // Ready once both listeners take connections; a master that ends early has said why.
    QDeadlineTimer deadline(20000);
    for (const quint16 port : {imapPort_, imapsPort_}) {
        for (;;) {
            if (process_.state() != QProcess::Running)
                throw std::runtime_error("dovecot did not start: " + process_.readAll().toStdString() +
                                         log().toStdString());
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            if (probe.waitForConnected(1000)) break;
            if (deadline.hasExpired()) throw std::runtime_error("dovecot did not listen: " + log().toStdString());
            QThread::msleep(20);
        }
    }
}

DovecotPeer::~DovecotPeer() {
    process_.terminate();
    if (!process_.waitForFinished(10000)) process_.kill();
    process_.waitForFinished();
}

QString DovecotPeer::log() const {
    QFile file(dir_.filePath(QStringLiteral("log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QByteArray DovecotPeer::doveadm(const QStringList& arguments, const QByteArray& input) {
    QProcess tool;
    QStringList all{QStringLiteral("-c"), dir_.filePath(QStringLiteral("dovecot.conf"))};
    all << arguments;
    tool.start(kDoveadm, all);
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(30000) || tool.exitCode() != 0)
        throw std::runtime_error("doveadm " + arguments.join(QLatin1Char(' ')).toStdString() +
                                 " failed: " + tool.readAllStandardError().toStdString() + "\n--- dovecot log ---\n" +
                                 log().toStdString());
    return tool.readAllStandardOutput();
}

QList<quint64> DovecotPeer::uids(const QString& mailbox) {
    const QByteArray out = doveadm({QStringLiteral("search"), QStringLiteral("-u"), options_.user,
                                    QStringLiteral("mailbox"), mailbox, QStringLiteral("ALL")});
    QList<quint64> list;
    for (const QByteArray& line : out.split('\n'))
        if (const QList<QByteArray> words = line.simplified().split(' '); words.size() == 2)
            list << words[1].toULongLong();
    std::sort(list.begin(), list.end());
    return list;
}

quint64 DovecotPeer::deliver(const QByteArray& message, const QStringList& flags, const QString& mailbox) {
    if (mailbox != QLatin1String("INBOX") && !mailboxes().contains(mailbox))
        doveadm({QStringLiteral("mailbox"), QStringLiteral("create"), QStringLiteral("-u"), options_.user, mailbox});
    doveadm({QStringLiteral("save"), QStringLiteral("-u"), options_.user, QStringLiteral("-m"), mailbox}, message);
    // UIDs only grow: the newest is the one just saved (the tests deliver one at a time).
    const QList<quint64> after = uids(mailbox);
    const quint64 uid = after.isEmpty() ? 0 : after.last();
    if (uid == 0) throw std::runtime_error("doveadm save: the message did not arrive");
    if (!flags.isEmpty())
        doveadm({QStringLiteral("flags"), QStringLiteral("add"), QStringLiteral("-u"), options_.user,
                 flags.join(QLatin1Char(' ')), QStringLiteral("mailbox"), mailbox, QStringLiteral("uid"),
                 QString::number(uid)});
    return uid;
}

QStringList DovecotPeer::flags(quint64 uid, const QString& mailbox) {
    const QByteArray out =
        doveadm({QStringLiteral("fetch"), QStringLiteral("-u"), options_.user, QStringLiteral("flags"),
                 QStringLiteral("mailbox"), mailbox, QStringLiteral("uid"), QString::number(uid)});
    QStringList list;
    for (const QByteArray& line : out.split('\n'))
        if (line.startsWith("flags:"))
            for (const QByteArray& flag : line.mid(6).simplified().split(' '))
                if (!flag.isEmpty() && flag != "\\Recent") list << QString::fromUtf8(flag);
    list.sort();
    return list;
}

QStringList DovecotPeer::mailboxes() {
    const QByteArray out =
        doveadm({QStringLiteral("mailbox"), QStringLiteral("list"), QStringLiteral("-u"), options_.user});
    QStringList list;
    for (const QByteArray& line : out.split('\n'))
        if (!line.trimmed().isEmpty()) list << QString::fromUtf8(line.trimmed());
    return list;
}

}  // namespace velocast::mail::testing
