#include "mail/smtp/tls_session.h"

#include <cerrno>
#include <cstring>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <QFile>
#include <QHash>

#include "mail/smtp/socket_connection.h"
#include "mail/smtp/tls_certificate.h"

namespace velocast::mail {

namespace {

// A socket BIO over the connection's own transfers: OpenSSL's socket BIO uses write(), and a
// server that has closed its side would then end the whole program with SIGPIPE.
int bioWrite(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    const int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    const qint64 n = SocketConnection::transmitOn(fd, data, size);
    if (n == SocketConnection::kWouldBlock) BIO_set_retry_write(bio);
    return n < 0 ? -1 : static_cast<int>(n);
}

int bioRead(BIO* bio, char* buffer, int size) {
    BIO_clear_retry_flags(bio);
    const int fd = static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
    const qint64 n = SocketConnection::receiveOn(fd, buffer, size);
    if (n == SocketConnection::kWouldBlock) BIO_set_retry_read(bio);
    return n < 0 ? -1 : static_cast<int>(n);
}

long bioControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "velocast socket");
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_ctrl(m, bioControl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

// One context per kind of policy: the legacy switch and the extra authorities change it, the
// verification choice does not (each connection judges its own certificate).
SSL_CTX* newClientContext(const TlsPolicy& policy, int (*keepSession)(SSL*, SSL_SESSION*),
                          int (*checkCertificate)(X509_STORE_CTX*, void*)) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context) return nullptr;
    // Sessions are kept by the program, per server (below), not in OpenSSL's own cache.
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, keepSession);
    if (policy.legacy) {
        // An old server: open the range down to TLS 1.0 (the oldest OpenSSL 3 still has),
        // whatever minimum the system configuration sets, and clear every "no version" option.
        SSL_CTX_set_min_proto_version(context, TLS1_VERSION);
        SSL_CTX_clear_options(
            context, SSL_OP_NO_SSLv3 | SSL_OP_NO_TLSv1 | SSL_OP_NO_TLSv1_1 | SSL_OP_NO_TLSv1_2 | SSL_OP_NO_TLSv1_3);
        // Old servers also lack secure renegotiation; OpenSSL 3 refuses them unless told not to.
        SSL_CTX_set_options(context, SSL_OP_LEGACY_SERVER_CONNECT);
        SSL_CTX_set_cipher_list(context, "AES:ALL:!aNULL:!eNULL:+RC4:@STRENGTH");
    } else {
        SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
        SSL_CTX_set_cipher_list(context, "DEFAULT:!aNULL:!eNULL");
    }
    SSL_CTX_set_max_proto_version(context, 0);
    // TLS 1.3 has suites of its own, all strong. AES-128-GCM goes first, as browsers order
    // them: every e-mail opens a TLS session, and its SHA-256 key schedule costs both ends
    // less than SHA-384 on each of those handshakes.
    SSL_CTX_set_ciphersuites(context, "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256");
    // After the cipher list: level 0 lets SHA-1 signatures, short keys and TLS 1.0 through;
    // level 2 asks for 112-bit security (RSA 2048, no SHA-1 signatures).
    SSL_CTX_set_security_level(context, policy.legacy ? 0 : 2);
    // The system's store (SSL_CERT_FILE and SSL_CERT_DIR are honoured), then the policy's.
    SSL_CTX_set_default_verify_paths(context);
    if (!policy.caFile.isEmpty() &&
        SSL_CTX_load_verify_locations(context, QFile::encodeName(policy.caFile).constData(), nullptr) != 1) {
        SSL_CTX_free(context);
        ERR_clear_error();
        throw TlsFailure{QStringLiteral("The CA file %1 named by [tls] ca_file in %2 cannot be read as PEM "
                                        "certificates; correct the path or remove the key.")
                             .arg(policy.caFile, policy.settingsFile)};
    }
    // Every connection judges the certificate itself (pins, verify = off); the handshake
    // stops when it says no.
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(context, checkCertificate, nullptr);
    return context;
}

QByteArray policyKey(const TlsPolicy& policy, bool withVerification) {
    QByteArray key = (policy.legacy ? "legacy\n" : "modern\n") + policy.caFile.toUtf8();
    if (withVerification)
        key += '\n' + QByteArray::number(static_cast<int>(policy.verify)) + '\n' + policy.pins.join(' ').toUtf8();
    return key;
}

QString lastErrorText(int sslError) {
    unsigned long code = 0;
    unsigned long last = 0;
    while ((code = ERR_get_error()) != 0) last = code;
    if (last != 0) {
        char text[256];
        ERR_error_string_n(last, text, sizeof text);
        return QString::fromLatin1(text);
    }
    if (sslError == SSL_ERROR_SYSCALL && errno != 0) return QString::fromLocal8Bit(std::strerror(errno));
    if (sslError == SSL_ERROR_SYSCALL || sslError == SSL_ERROR_ZERO_RETURN)
        return QStringLiteral("the server closed the connection");
    return QStringLiteral("SSL error %1").arg(sslError);
}

// The last resumable session of each server ("host:port"), one reference held for each.
// Everything runs on one thread.
class SessionStore {
public:
    ~SessionStore() {
        for (SSL_SESSION* session : sessions_) SSL_SESSION_free(session);
    }
    SSL_SESSION* find(const QByteArray& peer) const { return sessions_.value(peer, nullptr); }
    // Takes over the caller's reference.
    void keep(const QByteArray& peer, SSL_SESSION* session) {
        forget(peer);
        sessions_.insert(peer, session);
    }
    void forget(const QByteArray& peer) {
        if (SSL_SESSION* old = sessions_.take(peer)) SSL_SESSION_free(old);
    }

private:
    QHash<QByteArray, SSL_SESSION*> sessions_;
};

SessionStore& sessionStore() {
    static SessionStore store;
    return store;
}

}  // namespace

int TlsSession::keepSession(SSL* ssl, SSL_SESSION* session) {
    const auto* self = static_cast<const TlsSession*>(SSL_get_app_data(ssl));
    if (!self || !SSL_SESSION_is_resumable(session)) return 0;  // OpenSSL keeps its reference
    sessionStore().keep(self->peer_, session);
    return 1;
}

int TlsSession::checkCertificate(X509_STORE_CTX* store, void*) {
    SSL* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* self = ssl ? static_cast<TlsSession*>(SSL_get_app_data(ssl)) : nullptr;
    return self && self->judge(store) ? 1 : 0;
}

bool TlsSession::judge(X509_STORE_CTX* store) {
    const bool chainVerified = X509_verify_cert(store) == 1;
    const int error = X509_STORE_CTX_get_error(store);
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    report_ = {};
    STACK_OF(X509)* sent = X509_STORE_CTX_get0_untrusted(store);
    for (int i = 0; i < sk_X509_num(sent); ++i) report_.chain << describeCertificate(sk_X509_value(sent, i));
    if (report_.chain.isEmpty() && leaf) report_.chain << describeCertificate(leaf);
    report_.pin = leaf ? certificatePin(leaf) : QString();
    const QString problem = chainVerified
                                ? QString()
                                : verificationProblem(error, leaf, X509_STORE_CTX_get_current_cert(store), serverName_);
    const bool pinned = !report_.pin.isEmpty() && policy_.pins.contains(report_.pin);

    if (policy_.verify == TlsVerification::Off) {
        report_.verdict = chainVerified
                              ? QStringLiteral("verified (and [tls] verify = off would accept any certificate)")
                              : QStringLiteral("not verified: %1; accepted because [tls] verify = off").arg(problem);
        return true;
    }
    if (pinned) {
        report_.verdict = QStringLiteral("accepted: the server's key is one of the [tls] pin keys");
        return true;
    }
    if (policy_.verify == TlsVerification::System && chainVerified) {
        report_.verdict = QStringLiteral("verified: issued for %1 by a trusted authority").arg(serverName_);
        return true;
    }
    const QString why = policy_.verify == TlsVerification::Pin
                            ? QStringLiteral("its key is not one of the [tls] pin keys (verify = pin)")
                            : problem;
    report_.verdict = QStringLiteral("refused: %1").arg(why);
    refusal_ = QStringLiteral(
                   "The server's certificate was refused: %1. If this is the club's own server, check it "
                   "with velocast --test-smtp ADDRESS and add the \"pin = sha256/...\" line it prints "
                   "under [tls] in %2 (or trust its authority with ca_file =).")
                   .arg(why, policy_.settingsFile);
    X509_STORE_CTX_set_error(store, chainVerified ? X509_V_ERR_APPLICATION_VERIFICATION : error);
    return false;
}

std::unique_ptr<TlsSession> TlsSession::create(int socketDescriptor, const QString& serverName, const QString& peer,
                                               const TlsPolicy& policy) {
    // One context per kind of policy for the run, made at the first TLS connection that needs
    // it. It lives until the program ends, as the sessions it issued do.
    static QHash<QByteArray, SSL_CTX*> contexts;
    SSL_CTX*& context = contexts[policyKey(policy, false)];
    if (!context) context = newClientContext(policy, &TlsSession::keepSession, &TlsSession::checkCertificate);
    if (!context) return nullptr;
    SSL* ssl = SSL_new(context);
    BIO* bio = ssl ? BIO_new(socketMethod()) : nullptr;
    if (!bio) {
        SSL_free(ssl);
        return nullptr;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(socketDescriptor)));
    SSL_set_bio(ssl, bio, bio);
    SSL_set_connect_state(ssl);
    // The configured host goes out as server name; an address literal may not (RFC 6066).
    // The certificate must name the one or the other.
    const QByteArray name = serverName.toUtf8();
    if (!name.isEmpty() && isIpv4Literal(name)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.constData());
    } else if (!name.isEmpty()) {
        SSL_set_tlsext_host_name(ssl, name.constData());
        SSL_set1_host(ssl, name.constData());
    }
    // A session is resumed only under the policy that verified it.
    std::unique_ptr<TlsSession> tls(
        new TlsSession(ssl, policyKey(policy, true) + '\n' + peer.toUtf8(), serverName, policy));
    SSL_set_app_data(ssl, tls.get());
    if (SSL_SESSION* earlier = sessionStore().find(tls->peer_)) SSL_set_session(ssl, earlier);
    return tls;
}

TlsSession::TlsSession(SSL* ssl, QByteArray peer, QString serverName, TlsPolicy policy)
    : ssl_(ssl), peer_(std::move(peer)), serverName_(std::move(serverName)), policy_(std::move(policy)) {}

TlsSession::~TlsSession() {
    SSL_set_app_data(ssl_, nullptr);
    SSL_free(ssl_);
}

bool TlsSession::resumed() const { return SSL_session_reused(ssl_) == 1; }

qint64 TlsSession::classify(int rc, bool zeroIsClose) {
    const int error = SSL_get_error(ssl_, rc);
    switch (error) {
    case SSL_ERROR_WANT_READ: return WantRead;
    case SSL_ERROR_WANT_WRITE: return WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        if (zeroIsClose) return 0;
        break;
    case SSL_ERROR_SYSCALL:
        if (zeroIsClose && ERR_peek_error() == 0 && errno == 0)
            return 0;  // the peer closed the socket without close_notify
        break;
    default:
        if (zeroIsClose && ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
            ERR_clear_error();
            return 0;
        }
        break;
    }
    throw TlsFailure{lastErrorText(error)};
}

qint64 TlsSession::handshakeStep() {
    ERR_clear_error();
    errno = 0;
    const int rc = SSL_connect(ssl_);
    if (rc == 1) return 1;
    try {
        return classify(rc, false);
    } catch (TlsFailure& failure) {
        // Whatever went wrong, the next connection starts with a full handshake.
        sessionStore().forget(peer_);
        failure.peer = report_;
        if (!refusal_.isEmpty()) {
            failure.reason = refusal_;
            failure.certificateRefused = true;
        } else if (!policy_.legacy && report_.chain.isEmpty() &&
                   !failure.reason.contains(QLatin1String("wrong version number"))) {
            // Nothing was agreed before the certificate: most often an old server. (Plain text
            // where a TLS record was due is no old server but a wrong TLS mode.)
            failure.reason += QStringLiteral(
                                  ". If the server only speaks TLS 1.0 or 1.1 or old ciphers, "
                                  "[tls] legacy = yes in %1 lets it through.")
                                  .arg(policy_.settingsFile);
        }
        throw;
    }
}

qint64 TlsSession::read(char* buffer, qint64 size) {
    ERR_clear_error();
    errno = 0;
    size_t done = 0;
    const int rc = SSL_read_ex(ssl_, buffer, static_cast<size_t>(size), &done);
    return rc == 1 ? static_cast<qint64>(done) : classify(rc, true);
}

qint64 TlsSession::write(const char* data, qint64 size) {
    ERR_clear_error();
    errno = 0;
    size_t done = 0;
    const int rc = SSL_write_ex(ssl_, data, static_cast<size_t>(size), &done);
    return rc == 1 ? static_cast<qint64>(done) : classify(rc, false);
}

void TlsSession::shutdown() {
    ERR_clear_error();
    SSL_shutdown(ssl_);
    ERR_clear_error();
}

QString TlsSession::description() const {
    return QStringLiteral("%1, %2").arg(QString::fromLatin1(SSL_get_version(ssl_)),
                                        QString::fromLatin1(SSL_get_cipher_name(ssl_)));
}

}  // namespace velocast::mail
