// A mail sink that offers STARTTLS and throws every message away: the TLS peer of the drain
// benchmark, since Postfix's smtp-sink speaks no TLS. Written against OpenSSL like a real
// mail server, so that the benchmark weighs the client's TLS, not the sink's.
// One connection at a time (the drain and smtp-source -s 1 open one at a time).
// TLS 1.3 session tickets and the server session cache are on (OpenSSL's defaults), so a
// client that resumes sessions can skip the full handshake.
//   bench_tls_sink PORT CERT KEY
// Prints "ready" once it listens; on SIGTERM, how many TLS sessions it had and how many of
// them were resumed.
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopping = 0;
long tlsSessions = 0, resumedSessions = 0;

class Connection {
public:
    Connection(int fd, SSL_CTX* context) : fd_(fd), context_(context) {}
    ~Connection() {
        if (ssl_) {
            SSL_shutdown(ssl_);
            SSL_free(ssl_);
        }
        ::close(fd_);
    }

    bool startTls() {
        buffer_.clear();
        ssl_ = SSL_new(context_);
        SSL_set_fd(ssl_, fd_);
        if (SSL_accept(ssl_) != 1) {
            ERR_clear_error();
            return false;
        }
        ++tlsSessions;
        if (SSL_session_reused(ssl_)) ++resumedSessions;
        return true;
    }
    bool secure() const { return ssl_ != nullptr; }

    bool say(const std::string& text) {
        const int n = ssl_ ? SSL_write(ssl_, text.data(), static_cast<int>(text.size()))
                           : static_cast<int>(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL));
        return n == static_cast<int>(text.size());
    }

    // One line with its CR LF removed; false when the client is gone.
    bool readLine(std::string& line) {
        for (;;) {
            const auto end = buffer_.find("\r\n");
            if (end != std::string::npos) {
                line.assign(buffer_, 0, end);
                buffer_.erase(0, end + 2);
                return true;
            }
            char chunk[16384];
            const int n =
                ssl_ ? SSL_read(ssl_, chunk, sizeof chunk) : static_cast<int>(::recv(fd_, chunk, sizeof chunk, 0));
            if (n <= 0) return false;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

private:
    int fd_;
    SSL_CTX* context_;
    SSL* ssl_ = nullptr;
    std::string buffer_;
};

bool startsWith(const std::string& line, const char* verb) {
    return strncasecmp(line.c_str(), verb, std::strlen(verb)) == 0;
}

void serve(Connection& c) {
    if (!c.say("220 tls-sink ESMTP\r\n")) return;
    std::string line;
    while (c.readLine(line)) {
        bool ok = true;
        if (startsWith(line, "EHLO")) {
            ok = c.say(c.secure() ? "250-tls-sink\r\n250-8BITMIME\r\n250 PIPELINING\r\n"
                                  : "250-tls-sink\r\n250-8BITMIME\r\n250-STARTTLS\r\n250 PIPELINING\r\n");
        } else if (startsWith(line, "STARTTLS") && !c.secure()) {
            ok = c.say("220 go ahead\r\n") && c.startTls();
        } else if (startsWith(line, "DATA")) {
            ok = c.say("354 end with .\r\n");
            while (ok && (ok = c.readLine(line)) && line != ".") {}
            ok = ok && c.say("250 2.0.0 queued\r\n");
        } else if (startsWith(line, "QUIT")) {
            c.say("221 bye\r\n");
            return;
        } else if (startsWith(line, "HELO") || startsWith(line, "MAIL") || startsWith(line, "RCPT") ||
                   startsWith(line, "RSET") || startsWith(line, "NOOP")) {
            ok = c.say("250 ok\r\n");
        } else {
            ok = c.say("502 not here\r\n");
        }
        if (!ok) return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_tls_sink PORT CERT KEY\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction stop {};
    stop.sa_handler = [](int) { stopping = 1; };
    sigaction(SIGTERM, &stop, nullptr);  // no SA_RESTART: accept() returns to look
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (!context || SSL_CTX_use_certificate_chain_file(context, argv[2]) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, argv[3], SSL_FILETYPE_PEM) != 1) {
        ERR_print_errors_fp(stderr);
        return 1;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 256) != 0) {
        std::perror("bench_tls_sink");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    while (!stopping) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) continue;
        // Replies go out at once, not after a delayed acknowledgement of the one before.
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Connection connection(fd, context);
        serve(connection);
    }
    std::printf("tls sessions %ld, resumed %ld\n", tlsSessions, resumedSessions);
    return 0;
}
