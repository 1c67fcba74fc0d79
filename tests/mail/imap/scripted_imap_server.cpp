#include "scripted_imap_server.h"

#include "support/loopback_socket.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace velocast::mail::testing {

namespace {

// Only a guard against a client that never comes or never closes; tests do not wait for it.
constexpr int kGuardMs = 20000;

class TlsLines {
public:
    TlsLines(SSL* ssl, int fd) : ssl_(ssl), fd_(fd) {}
    bool readLine(std::string& line) {
        for (;;) {
            if (const auto end = pending_.find('\n'); end != std::string::npos) {
                line = pending_.substr(0, end);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                pending_.erase(0, end + 1);
                return true;
            }
            if (!readSome()) return false;
        }
    }
    bool readSome() {
        char chunk[4096];
        if (SSL_pending(ssl_) == 0 && !readableWithin(fd_, kGuardMs)) return false;
        const int n = SSL_read(ssl_, chunk, sizeof chunk);
        if (n <= 0) return false;
        pending_.append(chunk, static_cast<size_t>(n));
        return true;
    }
    void write(const std::string& bytes) {
        if (!bytes.empty()) SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
    }

private:
    SSL* ssl_;
    int fd_;
    std::string pending_;
};

}  // namespace

ScriptedImapServer::ScriptedImapServer(std::vector<Step> script, const QStringList& names) : certificate_(names) {
    listener_ = listenOnLoopback(1, port_, "scripted IMAP server");
    thread_ = std::thread(&ScriptedImapServer::run, this, std::move(script));
}

ScriptedImapServer::~ScriptedImapServer() {
    if (thread_.joinable()) thread_.join();
    closeSocket(listener_);
}

std::vector<std::string> ScriptedImapServer::transcript() {
    if (thread_.joinable()) thread_.join();
    return heard_;
}

void ScriptedImapServer::run(std::vector<Step> script) {
    if (!readableWithin(listener_, kGuardMs)) {
        heard_.push_back("!no client");
        return;
    }
    const int fd = acceptClient(listener_);
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_chain_file(context, certificate_.certificatePath().toLocal8Bit().constData());
    SSL_CTX_use_PrivateKey_file(context, certificate_.keyPath().toLocal8Bit().constData(), SSL_FILETYPE_PEM);
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) != 1) {
        heard_.push_back("!handshake refused");
    } else {
        TlsLines io(ssl, fd);
        std::string line;
        bool open = true;
        for (const Step& step : script) {
            if (!open) break;
            switch (step.kind) {
            case Step::Say: io.write(step.text); break;
            case Step::Hear:
                if (!(open = io.readLine(line))) heard_.push_back("!closed");
                else heard_.push_back(line);
                break;
            case Step::AwaitClose:
                while (io.readSome()) {}
                open = false;
                break;
            }
        }
        // Lines sent after the script ran out are recorded too, so extra commands show.
        while (open && io.readLine(line)) heard_.push_back(line);
    }
    SSL_free(ssl);
    SSL_CTX_free(context);
    ERR_clear_error();
    closeSocket(fd);
}

}  // namespace velocast::mail::testing
