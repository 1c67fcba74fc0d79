#pragma once
// An SMTP peer driven by a table: it serves one session after another on 127.0.0.1 on its
// own thread, accepts everything by default, and gives the replies its rules say for a given
// address and step (greylist an address twice, refuse one for good, start throttling after
// N messages, answer with TLS bytes instead of a greeting). Every message it accepted is
// recorded with its recipient and data.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace velocast::testing {

class SmtpTablePeer {
public:
    enum class Step { Greeting, Mail, Rcpt, DataEnd };
    struct Rule {
        Step step;
        QString address;        // the recipient it applies to; empty for any
        QByteArray reply;       // the whole reply line(s) without the final CR LF, or raw bytes
        int times = -1;         // how many times it applies; -1 for ever
        int afterAccepted = 0;  // applies only once this many messages were accepted
        bool raw = false;       // write `reply` as it is (no CR LF), then stop answering
    };

    explicit SmtpTablePeer(std::vector<Rule> rules);
    ~SmtpTablePeer();

    quint16 port() const { return port_; }
    // Recipients of the messages accepted so far, in order.
    QStringList accepted() const;
    // The data of each accepted message (the lines between DATA and ".", CR LF joined).
    std::vector<QByteArray> messages() const;
    // Commands heard, all sessions, in order (AUTH payloads and data excluded).
    QStringList commands() const;
    int sessions() const { return sessions_; }

private:
    void run();
    void serve(int client);
    const Rule* match(Step step, const QString& address);

    int listener_ = -1;
    quint16 port_ = 0;
    std::vector<Rule> rules_;
    std::vector<int> used_;
    mutable std::mutex mutex_;
    QStringList accepted_, commands_;
    std::vector<QByteArray> messages_;
    std::atomic<int> sessions_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace velocast::testing
