#pragma once
// OpenSSL on an already connected socket, client role. The server is verified as every mail
// client verifies it (the system's trust store, the host name or IP literal, TLS 1.2 at
// least, security level 2) unless the machine's policy pins its key, turns verification off,
// or allows the old protocol versions and ciphers of a legacy server.
//
// One client context serves the whole run, and the last session each server handed out is
// kept (in memory only) and offered again at the next connection to the same server: one
// message per connection would otherwise pay a full handshake for every e-mail. A server
// that does not resume simply gets the full handshake.
#include "mail/smtp/tls_policy.h"

#include <QString>
#include <QStringList>
#include <memory>

using SSL = struct ssl_st;
using SSL_CTX = struct ssl_ctx_st;
using SSL_SESSION = struct ssl_session_st;
using X509_STORE_CTX = struct x509_store_ctx_st;

namespace velocast::mail {

// What the server showed and what was concluded about it, for --test-smtp and the log.
struct TlsPeerReport {
    QStringList chain;  // one line per certificate the server sent, its own first
    QString pin;        // "sha256/..." of the server's own key; empty when none was seen
    QString verdict;    // "verified: ...", "accepted: ..." or why it was refused
};

// A handshake or record-layer failure, with OpenSSL's reason (or, when the server's
// certificate was refused, ours). The session turns it into the message the caller sees.
struct TlsFailure {
    QString reason;
    TlsPeerReport peer = {};
    bool certificateRefused = false;
};

class TlsSession {
public:
    // Result of a non-blocking step: done (or bytes moved), or what to wait for.
    enum Progress : qint64 { WantRead = -1, WantWrite = -2 };

    // Null when OpenSSL cannot give a client context (the library is unusable); TlsFailure
    // when the policy's CA file cannot be loaded. `peer` names the server (host and port)
    // whose earlier session may be resumed; `serverName` is what the certificate must name.
    static std::unique_ptr<TlsSession> create(int socketDescriptor, const QString& serverName, const QString& peer,
                                              const TlsPolicy& policy = {});
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // 1 when the handshake is complete, else WantRead/WantWrite; TlsFailure on error.
    qint64 handshakeStep();
    // Bytes read (> 0), 0 when the peer closed, or WantRead/WantWrite; TlsFailure on error.
    qint64 read(char* buffer, qint64 size);
    // Bytes written (> 0) or WantRead/WantWrite; TlsFailure on error.
    qint64 write(const char* data, qint64 size);
    // Sends close_notify once, without waiting for the peer's.
    void shutdown();
    // "TLSv1.3, TLS_AES_256_GCM_SHA384" for the dialogue log.
    QString description() const;
    // Whether the handshake resumed an earlier session.
    bool resumed() const;
    // The certificate check of the handshake (empty chain after a resumed session).
    const TlsPeerReport& peerReport() const { return report_; }

private:
    TlsSession(SSL* ssl, QByteArray peer, QString serverName, TlsPolicy policy);
    qint64 classify(int rc, bool zeroIsClose);
    static int keepSession(SSL* ssl, SSL_SESSION* session);
    static int checkCertificate(X509_STORE_CTX* store, void*);
    bool judge(X509_STORE_CTX* store);
    SSL* ssl_;
    QByteArray peer_;  // the session store's key: the policy and host:port
    QString serverName_;
    TlsPolicy policy_;
    TlsPeerReport report_;
    QString refusal_;  // set when the certificate was refused
};

}  // namespace velocast::mail
