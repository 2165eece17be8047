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
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/json.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "ArchiveFixtures.h"
#include "Emulation.h"
#include "FakeClocks.h"
#include "TempDir.h"
#include "history/Climate.h"
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
    // From `host`, another loopback address such as 127.0.0.2 for another host.
    explicit Client(uint16_t port, int receiveBuffer = 0, const char* host = "127.0.0.1") {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0) {
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        }
        sockaddr_in from{};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, host, &from.sin_addr);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
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

    // Reads at most `most` bytes every `pause`, as a slow connection does, until the server
    // closes (true) or the deadline passes.
    bool ReadSlowly(std::string& got, std::size_t most, std::chrono::milliseconds pause,
                    std::chrono::milliseconds wait) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        std::string buffer(most, '\0');
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(pause.count())) > 0) {
                const ssize_t n = ::recv(m_fd, buffer.data(), most, 0);
                if (n <= 0) {
                    return true;
                }
                got.append(buffer, 0, static_cast<std::size_t>(n));
            }
            std::this_thread::sleep_for(pause);
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

std::string BodyOf(const std::string& answer) {
    const std::size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// The ids of the events in what a stream sent, in their order.
std::vector<int64_t> EventIds(const std::string& got) {
    std::vector<int64_t> ids;
    for (std::size_t at = got.find("\nid: "); at != std::string::npos;
         at = got.find("\nid: ", at + 1)) {
        ids.push_back(std::stoll(got.substr(at + 5)));
    }
    return ids;
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
    if (::UnderEmulation()) {
        // Found when the armhf build first ran here: its CSV download ends the process with
        // SIGSEGV under qemu-arm (also in the browser test), cause not yet found.
        GTEST_SKIP() << "armhf: the CSV download ends with SIGSEGV under qemu (not yet mended)";
    }
    const std::string csv = Get("/api/sensors/outdoor-1/csv?range=day");
    EXPECT_NE(csv.find("Content-Disposition: attachment; filename=\"verlauf_outdoor-1_24-stunden"),
              std::string::npos);
    EXPECT_NE(csv.find(",12.5,"), std::string::npos);
    // Sent as it is read, in chunks, and whole.
    EXPECT_NE(csv.find("Transfer-Encoding: chunked"), std::string::npos);
    EXPECT_TRUE(csv.ends_with("\r\n0\r\n\r\n"));
}

TEST_F(WebServerTest, ReportsRecordsAndTodayAreTheHistorysOwnAndBadQueriesAreSaid) {
    Serve();
    // A report and the records as tavrolin-history writes them, of the archive as it is.
    const auto expected = [this](int year, int month, ClimateFormat format) {
        Archive archive;
        EXPECT_TRUE(archive.Open(m_path, Archive::Access::Read, 1000).Ok());
        std::vector<SensorSummary> sensors;
        EXPECT_TRUE(ListSensors(archive, sensors).Ok());
        ClimateReport report;
        const ClimateRequest request{
            kGarden, year, month, &m_clock, {}, sensors.at(0).usualPeriod, m_clock.Now()};
        EXPECT_TRUE(ComputeClimateReport(archive, request, report).Ok());
        std::vector<ClimateRecord> records;
        EXPECT_TRUE(ComputeClimateRecords(archive, kGarden, m_clock, {}, records).Ok());
        return month < 0 ? RecordsText(kGarden, "Außen 1", records, format)
                         : ReportText(report, "Außen 1", format);
    };
    std::string answer = Get("/api/report?month=2026-12&sensor=outdoor-1");
    EXPECT_EQ(StatusOf(answer), 200);
    EXPECT_NE(answer.find("Content-Type: application/json"), std::string::npos);
    EXPECT_EQ(BodyOf(answer), expected(2026, 12, ClimateFormat::Json));
    // The main sensors (here the one there is) as an array of those.
    std::string year = expected(2026, 0, ClimateFormat::Json);
    year.pop_back();
    EXPECT_EQ(BodyOf(Get("/api/report?year=2026")), "[" + year + "]\n");
    answer = Get("/api/report?month=2026-12&sensor=outdoor-1&format=csv");
    EXPECT_NE(answer.find("Content-Type: text/csv"), std::string::npos);
    EXPECT_NE(
        answer.find("Content-Disposition: attachment; filename=\"bericht_outdoor-1_2026-12.csv\""),
        std::string::npos);
    EXPECT_EQ(BodyOf(answer), expected(2026, 12, ClimateFormat::Csv));
    EXPECT_EQ(BodyOf(Get("/api/records?sensor=outdoor-1")), expected(0, -1, ClimateFormat::Json));
    EXPECT_EQ(BodyOf(Get("/api/records?sensor=outdoor-1&format=csv")),
              expected(0, -1, ClimateFormat::Csv));

    const std::pair<const char*, std::string> refused[] = {
        {"/api/report", "400 Ein Bericht braucht entweder month=JJJJ-MM oder year=JJJJ."},
        {"/api/report?month=2026-11&year=2026", "400 Ein Bericht braucht entweder"},
        {"/api/report?month=2026-13", "400 month= braucht einen Monat wie 2026-11, nicht 2026-13."},
        {"/api/report?month=2026-1", "400 month= braucht einen Monat wie 2026-11"},
        {"/api/report?year=26", "400 year= braucht ein Jahr wie 2026, nicht 26."},
        {"/api/report?year=1969", "400 year= braucht ein Jahr wie 2026"},
        {"/api/report?year=2026&format=pdf", "400 format= ist json oder csv, nicht pdf."},
        {"/api/report?year=2026&sensor=garten", "400 sensor= nennt einen Sensor wie outdoor-1"},
        {"/api/records?format=xml", "400 format= ist json oder csv"},
        {"/api/report?year=2026&sensor=outdoor-5", "404 Den Sensor outdoor-5 kennt das Archiv"},
    };
    for (const auto& [target, said] : refused) {
        answer = Get(target);
        EXPECT_EQ(
            std::to_string(StatusOf(answer)) + " " + BodyOf(answer).substr(0, said.size() - 4),
            said)
            << target;
    }

    // Today of the main sensors: the garden's low and high with their instants, as received.
    const boost::json::value today = boost::json::parse(BodyOf(Get("/api/today")));
    const boost::json::value& garden = today.at("sensors").at(0);
    EXPECT_EQ(garden.at("id"), "outdoor-1");
    const boost::json::value& temperature = garden.at("quantities").at(0);
    EXPECT_EQ(temperature.at("key"), "temperature");
    EXPECT_DOUBLE_EQ(temperature.at("now").to_number<double>(), 12.7);
    EXPECT_DOUBLE_EQ(temperature.at("min").at("value").to_number<double>(), 12.3);
    EXPECT_EQ(temperature.at("min").at("at"), "2026-12-07T14:43:07.456+01:00");
    EXPECT_DOUBLE_EQ(temperature.at("max").at("value").to_number<double>(), 12.7);
    EXPECT_EQ(temperature.at("max").at("at"), "2026-12-07T14:49:07.456+01:00");
    EXPECT_TRUE(today.at("rain").is_null());

    // What a phone needs to put the view on its home screen, of the types it wants.
    const std::pair<const char*, const char*> typed[] = {
        {"/static/manifest.webmanifest", "application/manifest+json"},
        {"/static/icon.svg", "image/svg+xml"},
        {"/static/icon-192.png", "image/png"},
        {"/bericht", "text/html"},
        {"/rekorde", "text/html"},
        {"/api/zone", "application/json"},
    };
    for (const auto& [target, type] : typed) {
        answer = Get(target);
        EXPECT_EQ(StatusOf(answer), 200) << target;
        EXPECT_NE(answer.find(std::string("Content-Type: ") + type), std::string::npos) << target;
        EXPECT_NE(answer.find("manifest-src 'self'"), std::string::npos) << target;
    }
    EXPECT_NE(Get("/").find("href=\"/static/manifest.webmanifest\""), std::string::npos);
    // The zone's offsets: pairs of the instant it begins and its seconds, however few.
    const boost::json::array offsets =
        boost::json::parse(BodyOf(Get("/api/zone"))).at("offsets").as_array();
    ASSERT_FALSE(offsets.empty());
    for (const boost::json::value& offset : offsets) {
        EXPECT_TRUE(offset.is_array() && offset.as_array().size() == 2) << offset;
    }
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

TEST_F(WebServerTest, RefusesFramingsAProxyMightReadOtherwiseAndAnswersNothingAfterThem) {
    Serve();
    const std::string smuggled = "GET /api/sensors HTTP/1.1\r\nHost: x\r\n\r\n";
    for (const char* framing :
         {"HTTP/1.1\r\nTransfer-Encoding: identity", "HTTP/1.1\r\nTransfer-Encoding: gzip",
          "HTTP/1.1\r\nTransfer-Encoding: chunked, identity",
          "HTTP/1.1\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: identity",
          "HTTP/1.0\r\nTransfer-Encoding: chunked", "HTTP/1.0\r\nTransfer-Encoding: identity"}) {
        Client client(m_server->Port());
        client.Send(std::string("GET / ") + framing + "\r\nHost: x\r\n\r\n" + smuggled);
        std::string answer;
        EXPECT_TRUE(client.Read(answer)) << framing;
        EXPECT_EQ(StatusOf(answer), 400) << framing;
        EXPECT_EQ(answer.find("HTTP/1.1", 1), std::string::npos) << framing;
    }
}

TEST_F(WebServerTest, ARequestOnAKeptConnectionHasNoMoreTimeThanTheFirst) {
    WebConfig config;
    config.limits.readTimeout = 300ms;
    config.limits.idleTimeout = 5s;
    Serve(config);
    Client client(m_server->Port());
    client.Send("GET /api/zone HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string answer;
    ASSERT_FALSE(client.Read(answer, "\"offsets\""));
    // A pause within idleTimeout is fine, then the next request begins and never ends.
    std::this_thread::sleep_for(500ms);
    client.Send("GET /api/zone HTTP/1.1\r\nHost: x\r\n");
    const auto begun = std::chrono::steady_clock::now();
    EXPECT_TRUE(client.Read(answer, {}, 3s));
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 1s);
}

TEST_F(WebServerTest, DropsSilentAndSurplusClientsAndServesTheNextAndAnotherHost) {
    WebConfig config;
    config.limits.maxConnections = 4;
    config.limits.maxConnectionsPerAddress = 3;
    config.limits.readTimeout = 300ms;
    Serve(config);
    std::vector<std::unique_ptr<Client>> silent;
    for (int i = 0; i < 3; ++i) {
        silent.push_back(std::make_unique<Client>(m_server->Port()));
        // One that starts a request and never ends it is as silent.
        silent.back()->Send(i == 0 ? "GET / HTTP/1.1\r\nHost: x\r\n" : "");
    }
    std::this_thread::sleep_for(50ms);  // the server has taken all three
    std::string ignored;
    Client beyondItsShare(m_server->Port());
    EXPECT_TRUE(beyondItsShare.Read(ignored, {}, 2s)) << "one host's fourth is closed at once";
    // Another host is served meanwhile, and holds the last slot.
    Client other(m_server->Port(), 0, "127.0.0.2");
    other.Send("GET /api/zone HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string answer;
    EXPECT_FALSE(other.Read(answer, "\"offsets\""));
    EXPECT_EQ(StatusOf(answer), 200);
    Client surplus(m_server->Port(), 0, "127.0.0.3");
    EXPECT_TRUE(surplus.Read(ignored, {}, 2s)) << "a fifth connection is closed at once";
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
    const std::vector<int64_t> ids = EventIds(got);
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

TEST_F(WebServerTest, APageBackAfterHoursGetsWhatItMissedInPiecesAsItReads) {
    Serve();
    const int64_t lastSeen = std::stoll(boost::json::value_to<std::string>(
        boost::json::parse(BodyOf(Get("/api/sensors"))).at("lastId")));
    Client page(m_server->Port());
    page.Send("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string seen;
    // Some hours of a station: more than a stream may hold unsent at once.
    std::vector<Reading> hours;
    for (int i = 0; i < 4000; ++i) {
        hours.push_back(Outdoor(i % 3, kT0 + 7 * kMinute + i * 100, i));
    }
    Write(hours);
    ASSERT_FALSE(page.Read(seen, "\"temperature\":399.9", 10s));
    // Back, by its Last-Event-ID or by ?after=, on a connection that takes little at a time;
    // the second is also given what the first was sent live.
    const std::string asked[] = {"/events HTTP/1.1\r\nLast-Event-ID: " + std::to_string(lastSeen),
                                 "/events?after=" + std::to_string(lastSeen) + " HTTP/1.1"};
    for (std::size_t n = 0; n < 2; ++n) {
        const int64_t last = EventIds(seen).back();
        Client back(m_server->Port(), 4096);
        back.Send("GET " + asked[n] + "\r\nHost: x\r\n\r\n");
        std::string missed;
        ASSERT_FALSE(back.Read(missed, "id: " + std::to_string(last) + "\n", 10s)) << missed.size();
        const std::vector<int64_t> ids = EventIds(missed);
        EXPECT_GT(missed.size(), 1024u * 1024u);
        EXPECT_EQ(ids.size(), 4000u + n);
        EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
        EXPECT_EQ(std::adjacent_find(ids.begin(), ids.end()), ids.end());
        EXPECT_EQ(missed.find("event: reload"), std::string::npos);
        // And what comes after, live, to both: a value none of the hours has, so that it is
        // found only once it has come.
        const int temperature = 4555 + static_cast<int>(n);
        Write({Outdoor(1, kT0 + (30 + static_cast<int64_t>(n)) * kMinute, temperature)});
        const std::string live = "\"temperature\":" + std::to_string(temperature / 10) + "." +
                                 std::to_string(temperature % 10);
        ASSERT_FALSE(page.Read(seen, live));
        EXPECT_FALSE(back.Read(missed, live));
        EXPECT_NE(missed.find(live), std::string::npos);
    }
}

// True once `holds` does, within `wait`.
bool Eventually(const std::function<bool()>& holds, std::chrono::milliseconds wait = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!holds()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// Whether this process still holds the file at `path` open after it was deleted.
bool HoldsDeleted(const std::string& path) {
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(fd.path(), error)
                .string()
                .starts_with(path + " (deleted)")) {
            return true;
        }
    }
    return false;
}

TEST_F(WebServerTest, AnArchiveDeletedOrReplacedIsNoticedAndTheGoodOneInItsPlaceRead) {
    Serve();
    Client page(m_server->Port());
    page.Send("GET /events HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string seen;
    ASSERT_FALSE(page.Read(seen, "retry: 2000\n\n"));
    const auto readable = [this](const char* value) {
        return Eventually([&] {
            return Get("/metrics").find(std::string("tavrolin_archive_readable ") + value + "\n") !=
                   std::string::npos;
        });
    };
    // Deleted, as by an owner who begins afresh: let go, and said.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(m_path + suffix);
    }
    ASSERT_TRUE(readable("0"));
    EXPECT_NE(Get("/api/sensors").find("ist nicht mehr da"), std::string::npos);
    EXPECT_FALSE(HoldsDeleted(m_path));
    EXPECT_FALSE(page.Read(seen, "\"problem\":\"Das Archiv "));
    EXPECT_NE(seen.find("\"problem\":\"Das Archiv "), std::string::npos) << "the badge is told";
    // Garbage in its place is no archive.
    const std::string beside = m_dir.File("neu.sqlite");
    {
        std::ofstream garbage(beside, std::ios::binary);
        garbage << std::string(8192, 'x');
    }
    std::filesystem::rename(beside, m_path);
    ASSERT_TRUE(Eventually(
        [&] { return Get("/api/sensors").find("läßt sich nicht lesen") != std::string::npos; }));
    EXPECT_TRUE(readable("0"));
    // A good one, as a restored backup comes: read, and what is written to it comes to the page.
    {
        Archive restored;
        ASSERT_TRUE(restored.Open(beside, Archive::Access::Write, 1000).Ok());
        ASSERT_TRUE(restored.Write({{Outdoor(1, kT0 + 6 * kMinute, 127)}}).Ok());
    }
    std::filesystem::rename(beside, m_path);
    ASSERT_TRUE(readable("1"));
    Write({Outdoor(1, kT0 + 8 * kMinute, 4321)});
    EXPECT_FALSE(page.Read(seen, "\"temperature\":432.1"));
    EXPECT_NE(seen.find("\"temperature\":432.1"), std::string::npos);
}

// A sensor heard every 10 s for the last `count` times 10 s.
std::vector<Reading> Heard(int address, int count) {
    std::vector<Reading> readings;
    for (int i = count; i > 0; --i) {
        readings.push_back(Outdoor(address, kT0 - i * 10000, i % 300));
    }
    return readings;
}

TEST_F(WebServerTest, DownloadsGoSideBySideEachAtItsReadersPaceAndAStopWaitsForNone) {
    if (::UnderEmulation()) {
        GTEST_SKIP() << "armhf: the CSV download ends with SIGSEGV under qemu (not yet mended)";
    }
    Write(Heard(1, 200000));  // some 13 MB of CSV, more than the kernel takes of it
    Write(Heard(2, 2000));
    WebConfig config;
    config.limits.maxDownloads = 2;
    Serve(config);
    const std::string target = "/api/sensors/outdoor-1/csv?range=all";
    // One that never reads its download holds up no other.
    Client stalled(m_server->Port(), 4096);
    stalled.Send("GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string head;
    ASSERT_FALSE(stalled.Read(head, "\r\n\r\n"));
    std::this_thread::sleep_for(200ms);  // until the kernel takes no more of it
    const auto begun = std::chrono::steady_clock::now();
    const std::string whole = Get("/api/sensors/outdoor-2/csv?range=day");
    EXPECT_LT(std::chrono::steady_clock::now() - begun, 1s);
    EXPECT_TRUE(whole.ends_with("\r\n0\r\n\r\n"));
    EXPECT_GT(whole.size(), 120000u);
    // They are bounded in number: beyond, one is told to come back.
    Client second(m_server->Port(), 4096);
    second.Send("GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
    ASSERT_FALSE(second.Read(head, "\r\n\r\n"));
    const std::string refused = Get(target);
    EXPECT_EQ(StatusOf(refused), 503);
    EXPECT_NE(refused.find("Retry-After: 5"), std::string::npos);
    // A stop does not wait for those that are not read.
    std::promise<void> stopped;
    const auto stopping = std::chrono::steady_clock::now();
    boost::asio::post(m_io, [&] {
        m_server->Stop();
        stopped.set_value();
    });
    EXPECT_EQ(stopped.get_future().wait_for(1s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 1s);
}

TEST_F(WebServerTest, ASlowButSteadyReaderGetsTheWholeDownload) {
    if (::UnderEmulation()) {
        GTEST_SKIP() << "armhf: the CSV download ends with SIGSEGV under qemu (not yet mended)";
    }
    Write(Heard(2, 2000));  // some 150 kB
    WebConfig config;
    config.limits.writeTimeout = 500ms;  // shorter than a piece takes at this pace
    Serve(config);
    Client slow(m_server->Port(), 4096);
    slow.Send("GET /api/sensors/outdoor-2/csv?range=day HTTP/1.1\r\nHost: x\r\n\r\n");
    std::string got;
    EXPECT_TRUE(slow.ReadSlowly(got, 2048, 25ms, 10s));  // some 80 kB/s
    EXPECT_GT(got.size(), 120000u);
    EXPECT_TRUE(got.ends_with("\r\n0\r\n\r\n")) << got.size();
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

TEST_F(WebServerTest, AFloodOfGuessesFromOneHostNeitherSlowsNorLocksOutTheOwner) {
    TAVROLIN_SKIP_UNDER_EMULATION("the owner's login is timed against 200 guessing connections");
    WebConfig config;
    config.user = "anna";
    config.passwordHash = HashPassword("geheim");  // some tens of ms a check, as in use
    config.limits.failedLoginDelay = 100ms;
    Serve(config);
    const std::string right = "Authorization: Basic YW5uYTpnZWhlaW0=\r\n";  // anna:geheim
    const std::string wrong = "Authorization: Basic YW5uYTpmYWxzY2g=\r\n";  // anna:falsch
    // 200 connections of one host, each guessing again as soon as it is answered.
    std::atomic<bool> flooding = true;
    std::thread flood([&] {
        std::vector<std::unique_ptr<Client>> guessers;
        const auto guess = [&] {
            auto client = std::make_unique<Client>(m_server->Port());
            client->Send("GET /api/sensors HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + wrong +
                         "\r\n");
            return client;
        };
        for (int i = 0; i < 200; ++i) {
            guessers.push_back(guess());
        }
        while (flooding) {
            for (auto& client : guessers) {
                std::string answer;
                if (client->Read(answer, {}, 2ms)) {
                    client = guess();
                }
            }
        }
    });
    std::this_thread::sleep_for(500ms);
    const auto timed = [this](const std::string& headers, const char* host) {
        Client owner(m_server->Port(), 0, host);
        owner.Send("GET /api/sensors HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + headers +
                   "\r\n");
        const auto begun = std::chrono::steady_clock::now();
        std::string answer;
        owner.Read(answer, {}, 15s);
        return std::pair(StatusOf(answer), std::chrono::steady_clock::now() - begun);
    };
    // The owner from another host: in at the next turn, a typo first costing little; once
    // in, the page's requests need no check at all.
    const auto [typo, typoTook] = timed(wrong, "127.0.0.2");
    const auto [in, inTook] = timed(right, "127.0.0.2");
    const auto [again, againTook] = timed(right, "127.0.0.3");
    flooding = false;
    flood.join();
    EXPECT_EQ(typo, 401);
    EXPECT_EQ(in, 200);
    EXPECT_EQ(again, 200);
    EXPECT_LT(typoTook, 3s);
    EXPECT_LT(inTook, 3s);
    EXPECT_LT(againTook, 1s);
}

}  // namespace
}  // namespace tavrolin
