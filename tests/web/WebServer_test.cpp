// SPDX-License-Identifier: GPL-3.0-or-later
// The browser view's server over real sockets: what it serves, what it refuses, how it
// bounds its clients, its login, and its event stream against an archive another connection
// writes, as the logger does.
#include "web/WebServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <thread>

#include "ArchiveFixtures.h"
#include "FakeClocks.h"
#include "TempDir.h"
#include "web/PasswordHash.h"
#include "web/Station.h"

namespace tavrolin {
namespace {

using namespace std::chrono_literals;
using testing::kGarden;
using testing::kMinute;
using testing::kT0;
using testing::Outdoor;

// A socket of the test's own, to send what no HTTP library would.
class Client {
public:
    explicit Client(uint16_t port, int receiveBuffer = 0) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0) {
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { ::close(m_fd); }
    bool Connected() const { return m_connected; }
    void Send(const std::string& bytes) {
        (void)!::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // Reads until `until` is in what came, the server closes, or the deadline passes; true
    // when the server closed.
    bool Read(std::string& got, std::string_view until = {}, std::chrono::milliseconds wait = 5s) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        std::size_t searched = 0;  // what was looked through already: only the new part is
        while (until.empty() || got.find(until, searched) == std::string::npos) {
            searched = got.size() > until.size() ? got.size() - until.size() : 0;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{m_fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                return false;
            }
            char buffer[8192];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return true;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return false;
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

int StatusOf(const std::string& answer) {
    return answer.size() > 12 ? std::stoi(answer.substr(9, 3)) : 0;
}

class WebServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_clock.SetInstant(FromUnixMs(kT0 + 10 * kMinute));
        Write({Outdoor(1, kT0, 123), Outdoor(1, kT0 + 3 * kMinute, 125),
               Outdoor(1, kT0 + 6 * kMinute, 127)});
    }
    void TearDown() override {
        if (m_thread.joinable()) {
            m_io.stop();
            m_thread.join();
        }
    }
    void Write(const std::vector<Reading>& readings) {
        Archive writer;
        ASSERT_TRUE(writer.Open(m_path, Archive::Access::Write, 1000).Ok());
        ASSERT_TRUE(writer.Write(readings).Ok());
    }
    void Serve(WebConfig config = {}) {
        config.address = {"127.0.0.1", 0};
        config.limits.pollInterval = 50ms;
        m_station =
            std::make_unique<Station>(SensorNames{}, WeatherSettings{}, m_path, m_clock, m_clock);
        ASSERT_TRUE(m_station->Start()) << m_station->Problem();
        m_server = std::make_unique<WebServer>(m_io, *m_station, config);
        std::string error;
        ASSERT_TRUE(m_server->Start(error)) << error;
        m_thread = std::thread([this] { m_io.run(); });
    }
    std::string Get(const std::string& target, const std::string& headers = "") {
        Client client(m_server->Port());
        client.Send("GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + headers +
                    "\r\n");
        std::string answer;
        client.Read(answer);
        return answer;
    }

    testing::TempDir m_dir;
    const std::string m_path = m_dir.File("archiv.sqlite");
    testing::FakeWallClock m_clock;
    boost::asio::io_context m_io;
    std::unique_ptr<Station> m_station;
    std::unique_ptr<WebServer> m_server;
    std::thread m_thread;
};

TEST_F(WebServerTest, ServesItsPathsAndNothingElseWithTheSecurityHeaders) {
    Serve();
    const std::pair<const char*, int> cases[] = {
        {"/", 200},
        {"/sensor/outdoor-1", 200},
        {"/static/style.css", 200},
        {"/api/sensors", 200},
        {"/api/sensors/outdoor-1/series?range=all", 200},
        {"/api/sensors/outdoor-2", 404},
        {"/static/../../../etc/passwd", 404},
        {"/static/%2e%2e/%2e%2e/etc/passwd", 404},
        {"/static/..%2f..%2fetc%2fpasswd", 404},
        {"/static/index.htm", 404},
        {"/etc/passwd", 404},
    };
    for (const auto& [target, status] : cases) {
        const std::string answer = Get(target);
        EXPECT_EQ(StatusOf(answer), status) << target;
        EXPECT_NE(answer.find("Content-Security-Policy: default-src 'none'; script-src 'self';"),
                  std::string::npos)
            << target;
        EXPECT_NE(answer.find("X-Content-Type-Options: nosniff"), std::string::npos) << target;
        EXPECT_NE(answer.find("Referrer-Policy: no-referrer"), std::string::npos) << target;
    }
    // The pages carry no script of their own inline.
    const std::string page = Get("/");
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_NE(Get("/api/sensors").find("\"values\":\"12,7 °C, 60 %, Taupunkt"), std::string::npos);
    const std::string csv = Get("/api/sensors/outdoor-1/csv?range=day");
    EXPECT_NE(csv.find("Content-Disposition: attachment; filename=\"verlauf_outdoor-1_24-stunden"),
              std::string::npos);
    EXPECT_NE(csv.find(",12.5,"), std::string::npos);
    // Sent as it is read, in chunks, and whole.
    EXPECT_NE(csv.find("Transfer-Encoding: chunked"), std::string::npos);
    EXPECT_TRUE(csv.ends_with("\r\n0\r\n\r\n"));
}

TEST_F(WebServerTest, RefusesOversizedRequestsBodiesAndOtherMethods) {
    Serve();
    const std::pair<std::string, int> cases[] = {
        {"GET / HTTP/1.1\r\nX-Big: " + std::string(9000, 'a') + "\r\n\r\n", 431},
        {"GET /" + std::string(3000, 'a') + " HTTP/1.1\r\n\r\n", 414},
        {"GET / HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", 413},
        {"GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", 413},
        {"POST /api/sensors HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 405},
        {"BREW / HTTP/1.1\r\n\r\n", 405},
        {"GET / HTTP/1.1\r\nno colon here\r\n\r\n", 400},
    };
    for (const auto& [request, status] : cases) {
        Client client(m_server->Port());
        client.Send(request);
        std::string answer;
        EXPECT_TRUE(client.Read(answer)) << "the connection stays open after " << status;
        EXPECT_EQ(StatusOf(answer), status) << request.substr(0, 40);
    }
    std::string many = "GET / HTTP/1.1\r\n";
    for (int i = 0; i < 60; ++i) {
        many += "X-" + std::to_string(i) + ": 1\r\n";
    }
    Client client(m_server->Port());
    client.Send(many + "\r\n");
    std::string answer;
    client.Read(answer);
    EXPECT_EQ(StatusOf(answer), 431);
}

TEST_F(WebServerTest, DropsSilentAndSurplusClientsAndServesTheNext) {
    WebConfig config;
    config.limits.maxConnections = 3;
    config.limits.readTimeout = 300ms;
    Serve(config);
    std::vector<std::unique_ptr<Client>> silent;
    for (int i = 0; i < 3; ++i) {
        silent.push_back(std::make_unique<Client>(m_server->Port()));
        // One that starts a request and never ends it is as silent.
        silent.back()->Send(i == 0 ? "GET / HTTP/1.1\r\nHost: x\r\n" : "");
    }
    std::this_thread::sleep_for(50ms);  // the server has taken all three
    Client surplus(m_server->Port());
    std::string ignored;
    EXPECT_TRUE(surplus.Read(ignored, {}, 2s)) << "a fourth connection is closed at once";
    for (auto& client : silent) {
        std::string got;
        EXPECT_TRUE(client->Read(got, {}, 5s)) << "a silent client is dropped";
        EXPECT_EQ(got, "");
    }
    EXPECT_EQ(StatusOf(Get("/api/sensors")), 200);
}

TEST_F(WebServerTest, EventStreamBringsEveryCommittedReadingInOrderAndWhatAPageMissed) {
    WebConfig config;
    config.limits.maxEventBacklog = 1024 * 1024;
    Serve(config);
    Client page(m_server->Port());
    page.Send("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
    // One that never reads, with a small window: its backlog is bounded and it is let go.
    Client stuck(m_server->Port(), 2048);
    stuck.Send("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string got;
    ASSERT_FALSE(page.Read(got, "retry: 2000\n\n"));
    EXPECT_NE(got.find("Content-Type: text/event-stream"), std::string::npos);

    // More than the archive keeps in `recent`: part of them is folded in the same
    // transaction, and still each comes once.
    std::vector<Reading> burst;
    for (int i = 0; i < 5000; ++i) {
        burst.push_back(Outdoor(i % 3, kT0 + 7 * kMinute + i * 100, i));
    }
    Write(burst);
    const std::string last = "\"temperature\":499.9";
    ASSERT_FALSE(page.Read(got, last, 10s)) << got.substr(got.size() > 500 ? got.size() - 500 : 0);
    std::vector<int64_t> ids;
    for (std::size_t at = got.find("\nid: "); at != std::string::npos;
         at = got.find("\nid: ", at + 1)) {
        ids.push_back(std::stoll(got.substr(at + 5)));
    }
    ASSERT_EQ(ids.size(), 5000u);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
    std::string dropped;
    EXPECT_TRUE(stuck.Read(dropped, {}, 10s)) << "a client that does not read is let go";
    EXPECT_LT(dropped.size(), got.size());

    // A page that comes back names the last event it saw and gets the rest, nothing twice.
    Write({Outdoor(1, kT0 + 20 * kMinute, 300), Outdoor(1, kT0 + 21 * kMinute, 301)});
    Client back(m_server->Port());
    back.Send("GET /events HTTP/1.1\r\nHost: x\r\nLast-Event-ID: " + std::to_string(ids.back()) +
              "\r\n\r\n");
    std::string missed;
    ASSERT_FALSE(back.Read(missed, "\"temperature\":30.1"));
    EXPECT_EQ(missed.find("\"temperature\":499.9"), std::string::npos);
    EXPECT_NE(missed.find("\"temperature\":30.0"), std::string::npos);
}

TEST_F(WebServerTest, WithALoginNothingAnswersWithoutIt) {
    WebConfig config;
    config.user = "anna";
    config.passwordHash = HashPassword("geheim");
    config.limits.failedLoginDelay = 5ms;
    config.limits.mostFailedLoginDelay = 20ms;
    Serve(config);
    // "anna:geheim", "anna:falsch", "otto:geheim"
    const std::string right = "Authorization: Basic YW5uYTpnZWhlaW0=\r\n";
    for (const char* target : {"/", "/static/app.js", "/events", "/api/sensors", "/metrics",
                               "/api/sensors/outdoor-1/csv?range=all", "/nothing"}) {
        const std::string refused = Get(target);
        EXPECT_EQ(StatusOf(refused), 401) << target;
        EXPECT_NE(refused.find("WWW-Authenticate: Basic realm=\"Tavrolin\""), std::string::npos);
        EXPECT_EQ(StatusOf(Get(target, "Authorization: Basic YW5uYTpmYWxzY2g=\r\n")), 401);
        EXPECT_EQ(StatusOf(Get(target, "Authorization: Basic b3R0bzpnZWhlaW0=\r\n")), 401);
    }
    EXPECT_EQ(StatusOf(Get("/metrics", right)), 200);
    EXPECT_EQ(StatusOf(Get("/nothing", right)), 404);
}

}  // namespace
}  // namespace tavrolin
