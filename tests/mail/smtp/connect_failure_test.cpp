// Connecting to a port that refuses or never answers: the texts carry Linux's error numbers
// and the silence relies on Linux dropping connection attempts beyond a full queue.
#include "mail/smtp/smtp_client.h"
#include "smtp_test_session.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace velocast::mail;
using namespace velocast::mail::testing;

namespace {

// A socket bound to 127.0.0.1 on an ephemeral port (its address filled in), or -1.
int boundLoopbackSocket(sockaddr_in& address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

TEST(SmtpSession, ConnectChecksHostPortAndSocketErrors) {
    // A bound socket that does not listen refuses connections.
    sockaddr_in address{};
    const int unused = boundLoopbackSocket(address);
    ASSERT_GE(unused, 0);

    struct Case {
        QString host;
        quint16 port;
        QString message;
    };
    for (const Case& c : {Case{"", 25, "A Host is required"}, Case{"127.0.0.1", 0, "A Port is required"},
                          Case{"127.0.0.1", ntohs(address.sin_port), "Socket Error # 111\r\nConnection refused"}}) {
        TestSession session(1);
        session.client.setHost(c.host);
        session.client.setPort(c.port);
        const SmtpError error = connectError(session);
        EXPECT_EQ(error.message(), c.message);
        EXPECT_EQ(error.stage(), SmtpStage::Connecting);
    }
    ::close(unused);
}

TEST(SmtpSession, ConnectAttemptThatGetsNoAnswerTimesOut) {
    // A listener that never accepts, with its one-place queue already taken: Linux drops
    // further SYNs, so the next connection attempt hears nothing at all.
    sockaddr_in address{};
    const int listener = boundLoopbackSocket(address);
    ASSERT_GE(listener, 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }

    TestSession session(ntohs(address.sin_port));
    session.client.setTimeouts({300, 300, 300});
    const SmtpError error = connectError(session);
    EXPECT_EQ(error.stage(), SmtpStage::Connecting);
    EXPECT_EQ(error.message(), "Socket Error # 110\r\nConnection timed out");
    for (int fd : fillers) ::close(fd);
    ::close(listener);
}
