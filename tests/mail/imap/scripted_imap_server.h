#pragma once
// A scripted IMAP server under implicit TLS for exact exchanges and faults: it listens on
// 127.0.0.1, accepts one client on its own thread, completes the TLS handshake with a
// certificate from the test authority (for the names given) and plays its script, recording
// every line the client sends. Its TLS is OpenSSL's own server side, not the client's code.
#include "support/test_certificate.h"

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace velocast::mail::testing {

class ScriptedImapServer {
public:
    struct Step {
        enum Kind { Say, Hear, AwaitClose } kind;
        std::string text;
    };
    // Writes the text and CR LF.
    static Step say(const std::string& text) { return {Step::Say, text + "\r\n"}; }
    static Step sayRaw(const std::string& bytes) { return {Step::Say, bytes}; }
    // Reads and records one line.
    static Step hear() { return {Step::Hear, {}}; }
    // Stops answering: reads and discards until the client closes.
    static Step awaitClose() { return {Step::AwaitClose, {}}; }

    explicit ScriptedImapServer(std::vector<Step> script,
                                const QStringList& names = {QStringLiteral("localhost"), QStringLiteral("127.0.0.1")});
    ~ScriptedImapServer();

    uint16_t port() const { return port_; }
    // Waits for the script (and the client's close) to end; the lines the client sent.
    std::vector<std::string> transcript();

private:
    void run(std::vector<Step> script);

    TestCertificate certificate_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::vector<std::string> heard_;
    std::thread thread_;
};

// Hears one command and answers it.
inline std::vector<ScriptedImapServer::Step> answer(const std::string& text) {
    return {ScriptedImapServer::hear(), ScriptedImapServer::say(text)};
}

}  // namespace velocast::mail::testing
