#include "support/smtp_table_peer.h"

#include "support/loopback_socket.h"

#include <stdexcept>

namespace velocast::testing {

namespace {

// Only a guard against a client that never comes back; tests wait for their events.
constexpr int kPollMs = 50;
constexpr int kSilentClientMs = 20000;

void say(int fd, const QByteArray& bytes) {
    mail::testing::sendBytes(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace

SmtpTablePeer::SmtpTablePeer(std::vector<Rule> rules) : rules_(std::move(rules)), used_(rules_.size(), 0) {
    uint16_t port = 0;
    listener_ = mail::testing::listenOnLoopback(8, port, "table peer");
    port_ = port;
    thread_ = std::thread(&SmtpTablePeer::run, this);
}

SmtpTablePeer::~SmtpTablePeer() {
    stop_ = true;
    thread_.join();
    mail::testing::closeSocket(listener_);
}

QStringList SmtpTablePeer::accepted() const {
    std::lock_guard lock(mutex_);
    return accepted_;
}

std::vector<QByteArray> SmtpTablePeer::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

QStringList SmtpTablePeer::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

const SmtpTablePeer::Rule* SmtpTablePeer::match(Step step, const QString& address) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < rules_.size(); ++i) {
        const Rule& rule = rules_[i];
        if (rule.step != step || (!rule.address.isEmpty() && rule.address.compare(address, Qt::CaseInsensitive) != 0))
            continue;
        if (accepted_.size() < rule.afterAccepted || (rule.times >= 0 && used_[i] >= rule.times)) continue;
        ++used_[i];
        return &rule;
    }
    return nullptr;
}

void SmtpTablePeer::run() {
    while (!stop_) {
        if (!mail::testing::readableWithin(listener_, kPollMs)) continue;
        const int client = mail::testing::acceptClient(listener_);
        if (client < 0) continue;
        ++sessions_;
        serve(client);
        mail::testing::closeSocket(client);
    }
}

void SmtpTablePeer::serve(int client) {
    QByteArray buffer;
    const auto readLine = [&](QByteArray& line) {
        int silent = 0;
        for (;;) {
            if (const qsizetype end = buffer.indexOf("\r\n"); end >= 0) {
                line = buffer.left(end);
                buffer.remove(0, end + 2);
                return true;
            }
            if (!mail::testing::readableWithin(client, kPollMs)) {
                if (stop_ || (silent += kPollMs) > kSilentClientMs) return false;
                continue;
            }
            char chunk[4096];
            const long long n = mail::testing::receiveSome(client, chunk, sizeof chunk);
            if (n <= 0) return false;
            buffer.append(chunk, n);
        }
    };
    // A rule's reply; false when the rule makes the peer stop answering.
    const auto answer = [&](const Rule* rule, const QByteArray& otherwise) {
        if (!rule) {
            say(client, otherwise + "\r\n");
            return true;
        }
        if (rule->raw) {
            say(client, rule->reply);
            QByteArray ignored;
            while (readLine(ignored)) {}
            return false;
        }
        say(client, rule->reply + "\r\n");
        return !rule->reply.startsWith("421");
    };
    if (!answer(match(Step::Greeting, {}), "220 table-peer ESMTP")) return;
    QString recipient;
    QByteArray line;
    while (readLine(line)) {
        const QByteArray verb = line.left(4).toUpper();
        {
            std::lock_guard lock(mutex_);
            commands_ << QString::fromLatin1(line);
        }
        if (verb == "EHLO") {
            say(client, "250-table-peer\r\n250 8BITMIME\r\n");
        } else if (verb == "MAIL") {
            recipient.clear();
            if (!answer(match(Step::Mail, {}), "250 ok")) return;
        } else if (verb == "RCPT") {
            recipient = QString::fromLatin1(line).section(u'<', 1).section(u'>', 0, 0);
            const Rule* rule = match(Step::Rcpt, recipient);
            if (!answer(rule, "250 ok")) return;
            if (rule) recipient.clear();
        } else if (verb == "DATA") {
            say(client, "354 go on\r\n");
            QByteArray data, dataLine;
            while (readLine(dataLine) && dataLine != ".") data += dataLine + "\r\n";
            const Rule* rule = match(Step::DataEnd, recipient);
            if (!rule) {
                std::lock_guard lock(mutex_);
                accepted_ << recipient;
                messages_.push_back(data);
            }
            if (!answer(rule, "250 accepted")) return;
        } else if (verb == "QUIT") {
            say(client, "221 bye\r\n");
            return;
        } else {
            say(client, "250 ok\r\n");
        }
    }
}

}  // namespace velocast::testing
