#pragma once
// OpenSSL on an already connected socket, client role. The settings favour reaching old mail
// servers over checking who they are: every protocol version OpenSSL still has, security
// level 0, the legacy cipher list, and no certificate verification at all.
//
// One client context serves the whole run, and the last session each server handed out is
// kept (in memory only) and offered again at the next connection to the same server: one
// message per connection would otherwise pay a full handshake for every e-mail. A server
// that does not resume simply gets the full handshake.
#include <QString>
#include <memory>

using SSL = struct ssl_st;
using SSL_CTX = struct ssl_ctx_st;
using SSL_SESSION = struct ssl_session_st;

namespace velocast::mail {

// A handshake or record-layer failure, with OpenSSL's reason. The session turns it into the
// message the caller sees.
struct TlsFailure {
    QString reason;
};

class TlsSession {
public:
    // Result of a non-blocking step: done (or bytes moved), or what to wait for.
    enum Progress : qint64 { WantRead = -1, WantWrite = -2 };

    // Null when OpenSSL cannot give a client context (the library is unusable). `peer` names
    // the server (host and port) whose earlier session may be resumed.
    static std::unique_ptr<TlsSession> create(int socketDescriptor, const QString& serverName,
                                              const QString& peer);
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

private:
    TlsSession(SSL* ssl, QByteArray peer);
    qint64 classify(int rc, bool zeroIsClose);
    static int keepSession(SSL* ssl, SSL_SESSION* session);
    SSL* ssl_;
    QByteArray peer_;
};

}  // namespace velocast::mail
