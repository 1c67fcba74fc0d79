#include "support/smtp_scripted_server.h"

#include "support/loopback_socket.h"

#include <chrono>

namespace velocast::mail::testing {

namespace {

// Only a guard against a client that never comes or never closes; tests do not wait for it.
constexpr int kGuardMs = 20000;

bool readable(int fd) { return readableWithin(fd, kGuardMs); }

}  // namespace

ScriptedSmtpServer::ScriptedSmtpServer(std::vector<Step> script) {
    listener_ = listenOnLoopback(1, port_, "scripted server");
    thread_ = std::thread(&ScriptedSmtpServer::run, this, std::move(script));
}

ScriptedSmtpServer::~ScriptedSmtpServer() {
    if (thread_.joinable()) thread_.join();
    closeSocket(listener_);
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
        const long long n = receiveSome(fd, chunk, sizeof chunk);
        if (n <= 0) return false;
        pending_.append(chunk, static_cast<size_t>(n));
    }
}

void ScriptedSmtpServer::run(std::vector<Step> script) {
    if (!readable(listener_)) {
        heard_.push_back("!no client");
        return;
    }
    const int fd = acceptClient(listener_);
    std::string line;
    bool open = true;
    for (const Step& step : script) {
        if (!open) break;
        switch (step.kind) {
        case Step::Say: sendBytes(fd, step.text.data(), step.text.size()); break;
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
            while (readable(fd) && receiveSome(fd, chunk, sizeof chunk) > 0) {}
            open = false;
            break;
        }
        }
    }
    while (open && readLine(fd, line)) heard_.push_back(line);
    closeSocket(fd);
}

}  // namespace velocast::mail::testing
