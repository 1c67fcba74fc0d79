#pragma once
// A real IMAP server for the mailbox tests: Debian's Dovecot, started in a temporary folder of
// its own with no system configuration, listening on free loopback ports (implicit TLS and
// STARTTLS) with a certificate from the test authority, one user in a passwd-file and Maildir
// mail. With an introspection URL it also takes OAuth 2.0 access tokens (XOAUTH2, OAUTHBEARER)
// and asks that URL whether each is active.
//
// Run as root (CI), the login and mail processes take the unprivileged "nobody", as Dovecot
// refuses to run them as root; run as anyone else, everything runs as that user.
//
// Tests put messages in and read flags back through doveadm, on the mail store itself: not
// through the IMAP client under test.
#include "support/test_certificate.h"

#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace velocast::mail::testing {

class DovecotPeer {
public:
    struct Options {
        QString user = QStringLiteral("club@club.test");
        QString password = QStringLiteral("p\u00e4ss w0rd");
        // The token introspection endpoint (an OAuthPeer's "introspect"); empty: passwords only.
        QString introspectionUrl;
        // The SASL mechanisms offered (Dovecot's names).
        QString authMechanisms = QStringLiteral("plain login xoauth2 oauthbearer");
        // Replaces the capabilities announced after sign-in (e.g. without MOVE); empty: Dovecot's.
        QString capabilities;
    };
    explicit DovecotPeer(const Options& options);
    DovecotPeer() : DovecotPeer(Options{}) {}
    ~DovecotPeer();
    DovecotPeer(const DovecotPeer&) = delete;
    DovecotPeer& operator=(const DovecotPeer&) = delete;

    quint16 implicitTlsPort() const { return imapsPort_; }
    quint16 startTlsPort() const { return imapPort_; }
    const Options& options() const { return options_; }

    // Puts a message into the mailbox (created when missing) with the flags given ("\\Seen",
    // "\\Deleted", ...) and returns its UID.
    quint64 deliver(const QByteArray& message, const QStringList& flags = {},
                    const QString& mailbox = QStringLiteral("INBOX"));
    // The flags of one message ("\\Seen" ...; \Recent left out), sorted; empty when it is gone.
    QStringList flags(quint64 uid, const QString& mailbox = QStringLiteral("INBOX"));
    QList<quint64> uids(const QString& mailbox = QStringLiteral("INBOX"));
    // Every mailbox of the user, as Dovecot names them ("INBOX", "Velocast.Processados").
    QStringList mailboxes();
    // Dovecot's log so far, for a failure's message.
    QString log() const;

private:
    QByteArray doveadm(const QStringList& arguments, const QByteArray& input = {});

    Options options_;
    TestCertificate certificate_;
    QTemporaryDir dir_;
    QProcess process_;
    quint16 imapPort_ = 0;
    quint16 imapsPort_ = 0;
};

}  // namespace velocast::mail::testing
