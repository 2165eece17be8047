// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the server's connections share: the server they ask (its limits, its station, the
// login, the event streams it feeds), the slot each connection holds, and the headers and
// texts of every answer. Each kind of connection lives in a file of its own: an HTTP session
// (HttpSession.cpp) that hands its socket over to an event stream (EventStream.cpp) or a CSV
// download (CsvDownload.cpp), as Beast's examples hand one to a websocket session.

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <functional>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "web/FeedClient.h"
#include "web/LoginGate.h"
#include "web/PasswordHash.h"
#include "web/Station.h"
#include "web/WebServer.h"

namespace tavrolin {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;

// The two kinds of connection: plain HTTP, and HTTPS.
using TcpStream = beast::tcp_stream;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

// Sets the headers every answer carries.
void SecurityHeaders(http::fields& fields);
// The short German text of a refusal.
std::string StatusText(http::status status);
// An answer of a text, never cached.
http::response<http::string_body> TextAnswer(http::status status, std::string body,
                                             std::string_view type = "text/plain; charset=utf-8");
// The events as an event stream sends them; whether the page is live, and as of when it
// shows the archive when it is not.
void AppendEvents(const std::vector<Station::Event>& events, std::string& chunk);
std::string EventChunk(const std::vector<Station::Event>& events);
std::string StateChunk(const Station& station);
// Every sensor's row, for the overview.
std::string OverviewChunk(Station& station);

// Ends a connection at once, both ways; what was pending on it fails.
void CloseConnection(beast::tcp_stream& stream);

// Where the station's events go: an event stream's connection.
class EventClient {
public:
    virtual ~EventClient() = default;
    virtual void Push(const std::shared_ptr<const std::string>& chunk) = 0;
    virtual bool Closed() const = 0;
    virtual void Close() = 0;
};

// One of the server's connection slots, held by whichever session has the connection and
// given back when the last one ends. It keeps the server alive: a session's handler that is
// still queued when the program stops is destroyed with the io_context, after the WebServer.
class ConnectionSlot {
public:
    ConnectionSlot(WebServer::Impl& server, const asio::ip::address& client);
    ConnectionSlot(ConnectionSlot&& other) noexcept = default;
    ConnectionSlot& operator=(ConnectionSlot&&) = delete;
    ~ConnectionSlot();
    WebServer::Impl& Server() const { return *m_server; }

    const asio::ip::address& Client() const { return m_client; }

private:
    std::shared_ptr<WebServer::Impl> m_server;
    asio::ip::address m_client;
};

class WebServer::Impl : public std::enable_shared_from_this<WebServer::Impl> {
public:
    Impl(asio::io_context& io, Station& station, WebConfig config);

    bool Start(std::string& error);
    void Stop();
    uint16_t Port() const { return m_port; }
    bool Stopped() const { return m_stopped; }

    const WebConfig& Config() const { return m_config; }
    const WebLimits& Limits() const { return m_config.limits; }
    Station& GetStation() { return m_station; }
    asio::io_context& Io() { return m_io; }
    bool LoginRequired() const { return m_login != nullptr; }
    // Whether a request's Authorization header carries the login (LoginGate).
    LoginGate& Login() { return *m_login; }
    const std::string* ChartJs();

    // The CSV downloads under way, at most maxDownloads.
    bool DownloadRoom() const { return m_downloads < Limits().maxDownloads; }
    void DownloadStarted() { ++m_downloads; }
    void DownloadEnded() { --m_downloads; }

    void Joined(const asio::ip::address& client);
    void Left(const asio::ip::address& client);
    // The server holds the event streams: nothing else is pending on them between events.
    void Subscribe(std::shared_ptr<EventClient> client) { m_clients.push_back(std::move(client)); }

private:
    void Accept();
    void Poll();
    void FollowFeed();
    void Broadcast(const std::string& chunk);
    // Lets go of the streams whose connections have ended, and what they held.
    void Prune();
    void Heartbeat();

    asio::io_context& m_io;
    Station& m_station;
    WebConfig m_config;
    tcp::acceptor m_acceptor;
    asio::steady_timer m_poll;
    asio::steady_timer m_heartbeat;
    asio::steady_timer m_acceptPause;
    ssl::context m_tls;
    bool m_useTls = false;
    uint16_t m_port = 0;
    std::size_t m_connections = 0;
    std::map<asio::ip::address, std::size_t> m_connectionsOf;  // per client address
    std::list<std::shared_ptr<EventClient>> m_clients;
    std::unique_ptr<LoginGate> m_login;  // with a login in the profile
    std::optional<std::string> m_chartJs;
    bool m_stopped = false;
    std::size_t m_downloads = 0;
    std::unique_ptr<FeedClient> m_feed;
    std::string m_fedChunk;  // the events of one read of the feed, sent together
};

// The sessions, one a file: each takes the connection over and keeps itself alive while it
// has work on it.
template <class Stream>
void StartHttpSession(ConnectionSlot slot, Stream stream);
// From the request on the connection is an event stream: the header, what the page missed
// after `after` (the id of the last event it saw), then every reading as the station takes
// it in.
template <class Stream>
void StartEventStream(ConnectionSlot slot, Stream stream, std::optional<int64_t> after);
// The connection carries one CSV download and ends with it.
template <class Stream>
void StartCsvDownload(ConnectionSlot slot, Stream stream, Station::CsvExport job);

}  // namespace tavrolin
