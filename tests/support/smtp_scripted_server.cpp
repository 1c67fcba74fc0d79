#include "support/smtp_scripted_server.h"

#include <chrono>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace velocast::mail::testing {

namespace {

// Only a guard against a client that never comes or never closes; tests do not wait for it.
constexpr int kGuardMs = 20000;

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, kGuardMs) > 0;
}

}  // namespace

int listenOnLoopback(int backlog, uint16_t& port, const char* who) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, backlog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) ::close(fd);
        throw std::runtime_error(std::string(who) + ": cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return fd;
}

ScriptedSmtpServer::ScriptedSmtpServer(std::vector<Step> script) {
    listener_ = listenOnLoopback(1, port_, "scripted server");
    thread_ = std::thread(&ScriptedSmtpServer::run, this, std::move(script));
}

ScriptedSmtpServer::~ScriptedSmtpServer() {
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
}

std::vector<std::string> ScriptedSmtpServer::transcript() {
    if (thread_.joinable()) thread_.join();
    return heard_;
}

bool ScriptedSmtpServer::readLine(int fd, std::string& line) {
    for (;;) {
        if (const auto end = pending_.find('\n'); end != std::string::npos) {
            line = pending_.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            pending_.erase(0, end + 1);
            return true;
        }
        char chunk[4096];
        if (!readable(fd)) return false;
        const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        pending_.append(chunk, static_cast<size_t>(n));
    }
}

void ScriptedSmtpServer::run(std::vector<Step> script) {
    if (!readable(listener_)) {
        heard_.push_back("!no client");
        return;
    }
    const int fd = ::accept(listener_, nullptr, nullptr);
    std::string line;
    bool open = true;
    for (const Step& step : script) {
        if (!open) break;
        switch (step.kind) {
        case Step::Say: ::send(fd, step.text.data(), step.text.size(), MSG_NOSIGNAL); break;
        case Step::Hear:
            if (!(open = readLine(fd, line))) heard_.push_back("!closed");
            else heard_.push_back(line);
            break;
        case Step::HearData:
            while ((open = readLine(fd, line))) {
                heard_.push_back(line);
                if (line == ".") break;
            }
            break;
        case Step::Close: open = false; break;
        case Step::Pause: std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(step.text))); break;
        case Step::AwaitClose: {
            char chunk[4096];
            while (readable(fd) && ::recv(fd, chunk, sizeof chunk, 0) > 0) {}
            open = false;
            break;
        }
        }
    }
    while (open && readLine(fd, line)) heard_.push_back(line);
    ::close(fd);
}

}  // namespace velocast::mail::testing
