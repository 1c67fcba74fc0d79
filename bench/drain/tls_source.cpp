// The floor of a STARTTLS drain: what the same SMTP exchanges cost a minimal client on
// OpenSSL, with nothing around them (no database, no message composition). It is to the TLS
// sink what smtp-source -s 1 is to smtp-sink, which speaks no TLS: one session per message,
// one message at a time, each session EHLO, [STARTTLS, handshake, EHLO,] MAIL, RCPT, DATA,
// the message and its end, QUIT, then close_notify. Its TLS settings are the program's:
// one context for the run, the last session of the server resumed, TLS 1.2 at least, the
// same TLS 1.3 suites and security level, and the server verified against the authority
// in $VELOCAST_BENCH_CA (and the system's store) with its IP address checked.
//   bench_tls_source PORT COUNT SIZE [--starttls]
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

SSL_SESSION* lastSession = nullptr;

int keepSession(SSL*, SSL_SESSION* session) {
    if (lastSession) SSL_SESSION_free(lastSession);
    lastSession = session;
    return 1;
}

SSL_CTX* clientContext() {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, keepSession);
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_cipher_list(context, "DEFAULT:!aNULL:!eNULL");
    SSL_CTX_set_ciphersuites(context, "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256");
    SSL_CTX_set_security_level(context, 2);
    SSL_CTX_set_default_verify_paths(context);
    if (const char* ca = std::getenv("VELOCAST_BENCH_CA")) SSL_CTX_load_verify_locations(context, ca, nullptr);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    X509_VERIFY_PARAM_set1_ip_asc(SSL_CTX_get0_param(context), "127.0.0.1");
    return context;
}

class Session {
public:
    explicit Session(int fd) : fd_(fd) {}
    ~Session() {
        if (ssl_) {
            SSL_shutdown(ssl_);
            SSL_free(ssl_);
        }
        ::close(fd_);
    }

    bool startTls(SSL_CTX* context) {
        ssl_ = SSL_new(context);
        SSL_set_fd(ssl_, fd_);
        if (lastSession) SSL_set_session(ssl_, lastSession);
        buffer_.clear();
        return SSL_connect(ssl_) == 1;
    }

    bool send(const std::string& text) {
        const int n = ssl_ ? SSL_write(ssl_, text.data(), static_cast<int>(text.size()))
                           : static_cast<int>(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL));
        return n == static_cast<int>(text.size());
    }

    // The code of the next whole reply (its last line has a space after the code), or 0.
    int reply() {
        for (;;) {
            const auto end = buffer_.find("\r\n");
            if (end != std::string::npos) {
                const std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 2);
                if (line.size() >= 4 && line[3] == ' ') return std::atoi(line.substr(0, 3).c_str());
                if (line.size() < 4 || line[3] != '-') return 0;
                continue;
            }
            char chunk[4096];
            const int n =
                ssl_ ? SSL_read(ssl_, chunk, sizeof chunk) : static_cast<int>(::recv(fd_, chunk, sizeof chunk, 0));
            if (n <= 0) return 0;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    bool command(const std::string& line, int expected) { return send(line + "\r\n") && reply() == expected; }

private:
    int fd_;
    SSL* ssl_ = nullptr;
    std::string buffer_;
};

bool sendOne(const sockaddr_in& address, SSL_CTX* context, const std::string& message, bool starttls) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Session s(fd);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || s.reply() != 220 ||
        !s.command("EHLO bench", 250))
        return false;
    if (starttls && !(s.command("STARTTLS", 220) && s.startTls(context) && s.command("EHLO bench", 250))) return false;
    return s.command("MAIL FROM:<academia@example.com>", 250) && s.command("RCPT TO:<membro@example.com>", 250) &&
           s.command("DATA", 354) && s.send(message) && s.reply() == 250 && s.command("QUIT", 221);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_tls_source PORT COUNT SIZE [--starttls]\n");
        return 2;
    }
    const int count = std::atoi(argv[2]);
    const bool starttls = argc > 4 && std::strcmp(argv[4], "--starttls") == 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));

    // A header, a body of SIZE bytes in lines of 78 characters, and the end of data.
    std::string message = "From: <academia@example.com>\r\nTo: <membro@example.com>\r\nSubject: bench\r\n\r\n";
    const size_t size = static_cast<size_t>(std::atol(argv[3]));
    for (size_t written = 0; written < size; written += 80) message += std::string(78, 'x') + "\r\n";
    message += ".\r\n";

    SSL_CTX* context = clientContext();
    for (int i = 0; i < count; ++i) {
        if (!sendOne(address, context, message, starttls)) {
            std::fprintf(stderr, "bench_tls_source: message %d failed\n", i + 1);
            ERR_print_errors_fp(stderr);
            return 1;
        }
    }
    return 0;
}
