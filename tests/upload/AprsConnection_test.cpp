// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/AprsConnection.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

namespace tavrolin {
namespace {

// A server on a free loopback port that handles one connection as `session` says.
class OneConnection {
public:
    explicit OneConnection(std::function<void(int)> session) {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listen, 1);
        socklen_t size = sizeof address;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, session] {
            const int fd = ::accept(m_listen, nullptr, nullptr);
            if (fd >= 0) {
                session(fd);
                ::close(fd);
            }
        });
    }
    ~OneConnection() {
        m_thread.join();
        ::close(m_listen);
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }

private:
    int m_listen = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
};

// Reads up to and with the next LF.
std::string Line(int fd) {
    std::string line;
    char c = 0;
    while (::read(fd, &c, 1) == 1) {
        line += c;
        if (c == '\n') {
            break;
        }
    }
    return line;
}

void Say(int fd, std::string_view text) {
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// The exchange APRS-IS servers expect, and each way a server can fail it: it says nothing,
// it hangs up after the login, nobody listens. None may hold the uploads longer than the
// time-out.
TEST(AprsConnection, GreetingLoginAndPacketEachBoundedByTheTimeOut) {
    std::string login, packet;
    {
        OneConnection server([&](int fd) {
            Say(fd, "# aprsc 2.1.10\r\n");
            login = Line(fd);
            Say(fd, "# note\r\n# logresp CW1 unverified, server T2TEST\r\n");
            packet = Line(fd);
            char rest = 0;
            EXPECT_EQ(::read(fd, &rest, 1), 0);  // the client closes after the packet
        });
        const AprsAnswer answer =
            PosixAprsClient(2000).Send(server.Address(), "user CW1 pass -1 vers t 1", "CW1>APRS:x");
        EXPECT_TRUE(answer.delivered) << answer.failure;
        EXPECT_EQ(answer.serverText, "# logresp CW1 unverified, server T2TEST");
    }
    EXPECT_EQ(login, "user CW1 pass -1 vers t 1\r\n");
    EXPECT_EQ(packet, "CW1>APRS:x\r\n");

    struct Case {
        std::function<void(int)> session;
        std::string failure;
    };
    const std::vector<Case> failing = {
        {[](int fd) { Line(fd); }, "grüßt nicht"},  // silent until the client gives up
        {[](int fd) {
             Say(fd, "# aprsc\r\n");
             Line(fd);
         },
         "beantwortet die Anmeldung nicht"},
    };
    for (const Case& c : failing) {
        OneConnection server(c.session);
        const AprsAnswer answer = PosixAprsClient(300).Send(server.Address(), "user CW1", "p");
        EXPECT_FALSE(answer.delivered);
        EXPECT_NE(answer.failure.find(c.failure), std::string::npos) << answer.failure;
    }
    std::string closedPort;
    {
        OneConnection server([](int) {});
        closedPort = server.Address();
        PosixAprsClient(300).Send(closedPort, "", "");  // lets it end
    }
    const AprsAnswer refused = PosixAprsClient(300).Send(closedPort, "user CW1", "p");
    EXPECT_FALSE(refused.delivered);
    EXPECT_NE(refused.failure.find("Keine Verbindung zu 127.0.0.1:"), std::string::npos)
        << refused.failure;
}

}  // namespace
}  // namespace tavrolin
