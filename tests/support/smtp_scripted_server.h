#pragma once
// A scripted SMTP peer for exact exchanges and faults: it listens on 127.0.0.1 with an
// ephemeral port, accepts one connection on its own thread and plays its script, recording
// every line the client sends. Independent of the client's socket code on purpose.
#include "support/loopback_socket.h"

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace velocast::mail::testing {

class ScriptedSmtpServer {
public:
    struct Step {
        enum Kind { Say, Hear, HearData, Close, AwaitClose, Pause } kind;
        std::string text;
    };
    // Writes text and CR LF (several lines: separate them with "\r\n").
    static Step say(const std::string& text) { return {Step::Say, text + "\r\n"}; }
    // Writes raw bytes, e.g. a reply cut off in the middle.
    static Step sayRaw(const std::string& bytes) { return {Step::Say, bytes}; }
    // Reads and records one line.
    static Step hear() { return {Step::Hear, {}}; }
    // Reads and records lines up to and including the lone ".".
    static Step hearData() { return {Step::HearData, {}}; }
    // A slow server: says nothing for this long (the fault itself, not a wait for an event).
    static Step pause(int ms) { return {Step::Pause, std::to_string(ms)}; }
    // Closes the connection at once.
    static Step close() { return {Step::Close, {}}; }
    // Stops answering: reads and discards until the client closes.
    static Step awaitClose() { return {Step::AwaitClose, {}}; }

    explicit ScriptedSmtpServer(std::vector<Step> script);
    ~ScriptedSmtpServer();

    uint16_t port() const { return port_; }
    // Waits for the script (and the client's close) to end; the lines the client sent, in
    // order. Lines sent after the script ran out are recorded too, so extra commands show.
    std::vector<std::string> transcript();

private:
    void run(std::vector<Step> script);
    bool readLine(int fd, std::string& line);

    int listener_ = -1;
    uint16_t port_ = 0;
    std::string pending_;
    std::vector<std::string> heard_;
    std::thread thread_;
};

// Script shorthands: hear one command and answer it.
inline std::vector<ScriptedSmtpServer::Step> reply(const std::string& text) {
    return {ScriptedSmtpServer::hear(), ScriptedSmtpServer::say(text)};
}

}  // namespace velocast::mail::testing
