// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/WebServer.h"

#include <algorithm>
#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <list>
#include <mutex>
#include <optional>
#include <sstream>

#include "web/HttpTarget.h"
#include "web/PasswordHash.h"
#include "web/Station.h"
#include "web/WebAssets.h"

namespace tavrolin {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

// Sent with every answer: no script but the pages' own files (no inline script), nothing
// from elsewhere, not to be framed; types as declared; no address of ours in other sites'
// logs.
constexpr const char* kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

template <class Response>
void SecurityHeaders(Response& res) {
    res.set("Content-Security-Policy", kContentSecurityPolicy);
    res.set("X-Content-Type-Options", "nosniff");
    res.set("Referrer-Policy", "no-referrer");
    res.set("X-Frame-Options", "DENY");
}

std::string SecurityHeaderLines() {
    return std::string("Content-Security-Policy: ") + kContentSecurityPolicy +
           "\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n"
           "X-Frame-Options: DENY\r\n";
}

// What a browser shows when the login is wrong or missing, and the other refusals: short
// German texts.
std::string StatusText(http::status status) {
    switch (status) {
        case http::status::not_found:
            return "Diese Seite gibt es nicht.\n";
        case http::status::unauthorized:
            return "Anmeldung erforderlich.\n";
        case http::status::method_not_allowed:
            return "Nur GET: diese Ansicht ändert nichts.\n";
        case http::status::payload_too_large:
            return "Anfragen mit Inhalt werden nicht angenommen.\n";
        case http::status::uri_too_long:
            return "Die Adresse ist zu lang.\n";
        case http::status::request_header_fields_too_large:
            return "Die Kopfzeilen der Anfrage sind zu groß.\n";
        case http::status::service_unavailable:
            return "Das Archiv läßt sich gerade nicht lesen.\n";
        default:
            return "Fehlerhafte Anfrage.\n";
    }
}

// Where the station's events go: an event stream's connection.
class EventClient {
public:
    virtual ~EventClient() = default;
    virtual void Push(const std::shared_ptr<const std::string>& chunk) = 0;
    virtual bool Closed() const = 0;
    virtual void Close() = 0;
};

constexpr int kEventSendBuffer = 64 * 1024;

// A CSV download between the thread that reads the archive and the connection that sends
// it: the reader waits while kMostUnsent pieces are not yet sent, so that a slow client holds
// up its own download and no more than that in memory; a connection that closes stops it.
struct CsvFlow {
    static constexpr int kMostUnsent = 4;
    std::mutex mutex;
    std::condition_variable taken;
    int unsent = 0;
    bool stop = false;

    void Stop() {
        const std::lock_guard lock(mutex);
        stop = true;
        taken.notify_all();
    }
};

std::string EventChunk(const std::vector<Station::Event>& events) {
    std::string chunk;
    for (const Station::Event& e : events) {
        chunk += "id: " + std::to_string(e.id) + "\ndata: " + e.data + "\n\n";
    }
    return chunk;
}

}  // namespace

class WebServer::Impl : public std::enable_shared_from_this<WebServer::Impl> {
public:
    Impl(asio::io_context& io, Station& station, WebConfig config)
        : m_io(io),
          m_station(station),
          m_config(std::move(config)),
          m_acceptor(io),
          m_poll(io),
          m_heartbeat(io),
          m_acceptPause(io),
          m_tls(ssl::context::tls_server) {}

    bool Start(std::string& error);
    void Stop();
    uint16_t Port() const { return m_port; }

    const WebConfig& Config() const { return m_config; }
    const WebLimits& Limits() const { return m_config.limits; }
    Station& GetStation() { return m_station; }
    bool LoginRequired() const { return !m_config.user.empty(); }
    // True when the Authorization header carries the login.
    bool Authorized(std::string_view header);
    // How long the answer to a wrong login waits: longer with every one in a row.
    std::chrono::milliseconds FailureDelay() const {
        const int doubling = std::clamp(m_failures - 1, 0, 10);
        return std::min(Limits().failedLoginDelay * (1 << doubling), Limits().mostFailedLoginDelay);
    }
    const std::string* ChartJs();

    // Runs a download's export on the server's own thread for them, stopped with the server.
    template <class Job>
    void Export(const std::shared_ptr<CsvFlow>& flow, Job job) {
        m_flows.push_back(flow);
        std::erase_if(m_flows, [](const std::weak_ptr<CsvFlow>& f) { return f.expired(); });
        asio::post(m_exports, std::move(job));
    }

    void Joined() { ++m_connections; }
    void Left() { --m_connections; }
    // The server holds the event streams: nothing else is pending on them between events.
    void Subscribe(std::shared_ptr<EventClient> client) { m_clients.push_back(std::move(client)); }
    asio::io_context& Io() { return m_io; }

private:
    void Accept();
    void Poll();
    void Broadcast(const std::string& chunk);
    void Heartbeat();
    template <class Session, class... Args>
    void Launch(tcp::socket socket, Args&&... args);

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
    std::list<std::shared_ptr<EventClient>> m_clients;
    int m_failures = 0;
    std::optional<Sha256Digest> m_accepted;  // of the last login that was right
    std::optional<std::string> m_chartJs;
    bool m_stopped = false;
    // One download at a time reads the archive beside the serving thread; more wait.
    asio::thread_pool m_exports{1};
    std::vector<std::weak_ptr<CsvFlow>> m_flows;
};

namespace {

// One connection: requests one after another (keep-alive), until one turns it into an event
// stream. Stream is a TCP stream, or TLS over one.
template <class Stream>
class Session : public EventClient, public std::enable_shared_from_this<Session<Stream>> {
public:
    template <class... Args>
    Session(WebServer::Impl& server, tcp::socket socket, Args&&... args)
        : m_server(server), m_stream(std::move(socket), std::forward<Args>(args)...) {
        m_server.Joined();
    }
    ~Session() override { m_server.Left(); }

    void Run() {
        if constexpr (std::is_same_v<Stream, beast::tcp_stream>) {
            Read();
        } else {
            Lowest().expires_after(m_server.Limits().readTimeout);
            m_stream.async_handshake(ssl::stream_base::server,
                                     [self = this->shared_from_this()](beast::error_code ec) {
                                         if (!ec) {
                                             self->Read();
                                         }
                                     });
        }
    }

    void Push(const std::shared_ptr<const std::string>& chunk) override {
        if (m_closed) {
            return;
        }
        if (m_queuedBytes + chunk->size() > m_server.Limits().maxEventBacklog) {
            // A client that does not read its events: dropped before it costs more; its page
            // comes back and asks for what it missed.
            Close();
            return;
        }
        m_queued.push_back(chunk);
        m_counted.push_back(false);
        m_queuedBytes += chunk->size();
        if (m_queued.size() == 1) {
            WriteQueued();
        }
    }

private:
    beast::tcp_stream& Lowest() { return beast::get_lowest_layer(m_stream); }

    bool Closed() const override { return m_closed; }

    void Close() override {
        m_closed = true;
        if (m_flow) {
            m_flow->Stop();
        }
        beast::error_code ignored;
        Lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        Lowest().close();
    }

    void Read() {
        m_parser.emplace();
        m_parser->header_limit(static_cast<std::uint32_t>(m_server.Limits().maxHeaderBytes));
        m_parser->body_limit(0);
        Lowest().expires_after(m_requests == 0 ? m_server.Limits().readTimeout
                                               : m_server.Limits().idleTimeout);
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                             self->OnRead(ec);
                         });
    }

    void OnRead(beast::error_code ec) {
        if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
            ec == asio::error::operation_aborted || ec == asio::error::eof ||
            ec == asio::error::connection_reset) {
            Close();
            return;
        }
        ++m_requests;
        if (ec == http::error::header_limit) {
            Refuse(http::status::request_header_fields_too_large);
        } else if (ec == http::error::body_limit || ec == http::error::unexpected_body) {
            Refuse(http::status::payload_too_large);
        } else if (ec) {
            Refuse(http::status::bad_request);
        } else {
            Handle(m_parser->get());
        }
    }

    // An answer after which the connection closes: the request was not one to go on from.
    void Refuse(http::status status) {
        auto res = Text(status, StatusText(status));
        res->keep_alive(false);
        Send(std::move(res));
    }

    std::shared_ptr<http::response<http::string_body>> Text(
        http::status status, std::string body,
        std::string_view type = "text/plain; charset=utf-8") {
        auto res = std::make_shared<http::response<http::string_body>>(status, 11);
        res->set(http::field::content_type, type);
        res->set(http::field::cache_control, "no-store");
        SecurityHeaders(*res);
        res->body() = std::move(body);
        res->prepare_payload();
        return res;
    }

    void Handle(const http::request<http::empty_body>& req) {
        const std::size_t fields =
            static_cast<std::size_t>(std::distance(req.base().begin(), req.base().end()));
        if (fields > m_server.Limits().maxFields) {
            Refuse(http::status::request_header_fields_too_large);
            return;
        }
        if (req.target().size() > m_server.Limits().maxTargetBytes) {
            Refuse(http::status::uri_too_long);
            return;
        }
        if (req.method() != http::verb::get) {
            auto res = Text(http::status::method_not_allowed,
                            StatusText(http::status::method_not_allowed));
            res->set(http::field::allow, "GET");
            res->keep_alive(false);
            Send(std::move(res));
            return;
        }
        if (m_server.LoginRequired()) {
            const auto header = req.find(http::field::authorization);
            const bool given = header != req.end();
            if (!given || !m_server.Authorized(header->value())) {
                auto res = Text(http::status::unauthorized, StatusText(http::status::unauthorized));
                res->set(http::field::www_authenticate,
                         "Basic realm=\"Tavrolin\", charset=\"UTF-8\"");
                res->keep_alive(req.keep_alive());
                if (!given) {
                    Send(std::move(res));
                    return;
                }
                // A wrong login is answered late, and later with every one in a row.
                m_delay.emplace(m_server.Io());
                m_delay->expires_after(m_server.FailureDelay());
                m_delay->async_wait(
                    [self = this->shared_from_this(), res](beast::error_code) { self->Send(res); });
                return;
            }
        }
        Answer(req, ParseTarget(req.target()));
    }

    void Answer(const http::request<http::empty_body>& req, const Target& target) {
        Station& station = m_server.GetStation();
        std::shared_ptr<http::response<http::string_body>> res;
        const auto json = [this](std::string body) {
            return Text(http::status::ok, std::move(body), "application/json; charset=utf-8");
        };
        switch (target.route) {
            case Route::Overview:
            case Route::SensorPage:
            case Route::Asset: {
                const WebAsset* asset =
                    FindAsset(target.route == Route::Overview     ? "index.html"
                              : target.route == Route::SensorPage ? "sensor.html"
                                                                  : target.asset);
                // The pages are the same for every sensor; the script reads the id from the
                // address.
                res = asset ? Text(http::status::ok, std::string(asset->body), asset->type)
                            : Text(http::status::not_found, StatusText(http::status::not_found));
                break;
            }
            case Route::ChartJs: {
                const std::string* script = m_server.ChartJs();
                res = script ? Text(http::status::ok, *script, "text/javascript; charset=utf-8")
                             : Text(http::status::not_found,
                                    "Chart.js fehlt: das Paket libjs-chart.js ist nicht "
                                    "installiert.\n");
                break;
            }
            case Route::Events:
                StartEvents(req, target);
                return;
            case Route::Sensors:
                res = json(station.SensorsJson());
                break;
            case Route::Sensor: {
                std::optional<std::string> row = station.SensorJson(target.sensor);
                res = row ? json(std::move(*row))
                          : Text(http::status::not_found, StatusText(http::status::not_found));
                break;
            }
            case Route::Series:
                res = json(station.SeriesJson(target.sensor, target.range));
                break;
            case Route::Csv:
                StartCsv(station.Csv(target.sensor, target.range));
                return;
            case Route::Metrics:
                res = Text(http::status::ok, station.Metrics(),
                           "text/plain; version=0.0.4; charset=utf-8");
                break;
            case Route::NotFound:
                res = Text(http::status::not_found, StatusText(http::status::not_found));
                break;
        }
        res->keep_alive(req.keep_alive());
        Send(std::move(res));
    }

    void Send(std::shared_ptr<http::response<http::string_body>> res) {
        Lowest().expires_after(m_server.Limits().writeTimeout);
        http::async_write(
            m_stream, *res,
            [self = this->shared_from_this(), res](beast::error_code ec, std::size_t) {
                if (ec || !res->keep_alive()) {
                    self->Close();
                    return;
                }
                self->Read();
            });
    }

    // From here on the connection is an event stream: the header, what the page missed
    // (where it says what it saw last), then every reading as the station takes it in.
    void StartEvents(const http::request<http::empty_body>& req, const Target& target) {
        Station& station = m_server.GetStation();
        std::optional<int64_t> after = target.after;
        if (const auto last = req.find("Last-Event-ID"); last != req.end()) {
            const Target asked = ParseTarget("/events?after=" + std::string(last->value()));
            after = asked.after ? asked.after : after;
        }
        std::string head =
            "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream; charset=utf-8\r\n"
            "Cache-Control: no-store\r\n" +
            SecurityHeaderLines() + "\r\n";
        // How soon a page whose stream broke tries again.
        head += "retry: 2000\n\n";
        std::vector<Station::Event> missed;
        if (after && !station.EventsAfter(*after, missed)) {
            // Too much or too long ago: the page loads the overview afresh.
            head += "event: reload\ndata: {}\n\n";
        }
        head += EventChunk(missed);
        // What the kernel holds for a client counts towards its backlog too: a small send
        // buffer, so that one that does not read is found out by maxEventBacklog, not after
        // megabytes in the kernel.
        beast::error_code ignored;
        Lowest().socket().set_option(asio::socket_base::send_buffer_size(kEventSendBuffer),
                                     ignored);
        Push(std::make_shared<const std::string>(std::move(head)));
        m_server.Subscribe(this->shared_from_this());
    }

    // A download goes out in chunks as the export's thread reads them (chunked transfer
    // encoding: its length is known only at the end), and the connection ends with it.
    void StartCsv(Station::CsvExport job) {
        std::string head =
            "HTTP/1.1 200 OK\r\nContent-Type: text/csv; charset=utf-8\r\n"
            "Content-Disposition: attachment; filename=\"" +
            job.fileName +
            "\"\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n"
            "Cache-Control: no-store\r\n" +
            SecurityHeaderLines() + "\r\n";
        Push(std::make_shared<const std::string>(std::move(head)));
        m_flow = std::make_shared<CsvFlow>();
        m_server.Export(m_flow, [self = this->shared_from_this(), flow = m_flow,
                                 job = std::move(job), &io = m_server.Io()]() mutable {
            const bool read = job.Run([&](std::string_view piece) {
                std::unique_lock lock(flow->mutex);
                flow->taken.wait(lock,
                                 [&] { return flow->unsent < CsvFlow::kMostUnsent || flow->stop; });
                if (flow->stop) {
                    return;
                }
                ++flow->unsent;
                lock.unlock();
                char size[20];
                std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
                auto chunk = std::make_shared<std::string>(size);
                chunk->append(piece);
                chunk->append("\r\n");
                asio::post(io, [self, chunk] { self->PushPiece(chunk); });
            });
            // The connection is let go on its own thread, never on this one.
            asio::post(io, [self = std::move(self), read] { self->EndCsv(read); });
        });
    }

    void PushPiece(const std::shared_ptr<const std::string>& chunk) {
        if (m_closed) {
            return;
        }
        Push(chunk);
        if (!m_counted.empty()) {
            m_counted.back() = true;
        }
    }

    // The last chunk; a download the archive broke off ends without it, so that the client
    // sees it incomplete.
    void EndCsv(bool read) {
        if (m_closed) {
            return;
        }
        if (!read) {
            Close();
            return;
        }
        m_closeWhenSent = true;
        Push(std::make_shared<const std::string>("0\r\n\r\n"));
    }

    void WriteQueued() {
        Lowest().expires_after(m_server.Limits().writeTimeout);
        asio::async_write(m_stream, asio::buffer(*m_queued.front()),
                          [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                              self->OnWritten(ec);
                          });
    }

    void OnWritten(beast::error_code ec) {
        if (ec) {
            Close();
            return;
        }
        m_queuedBytes -= m_queued.front()->size();
        m_queued.pop_front();
        if (m_counted.front()) {
            const std::lock_guard lock(m_flow->mutex);
            --m_flow->unsent;
            m_flow->taken.notify_all();
        }
        m_counted.pop_front();
        if (!m_queued.empty()) {
            WriteQueued();
        } else if (m_closeWhenSent) {
            Close();
        } else {
            Lowest().expires_never();
        }
    }

    WebServer::Impl& m_server;
    Stream m_stream;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::empty_body>> m_parser;
    std::optional<asio::steady_timer> m_delay;
    int m_requests = 0;
    std::deque<std::shared_ptr<const std::string>> m_queued;
    // Of a download: its flow, the pieces of it among m_queued, and whether the connection
    // ends once the queue is sent.
    std::shared_ptr<CsvFlow> m_flow;
    std::deque<bool> m_counted;
    bool m_closeWhenSent = false;
    std::size_t m_queuedBytes = 0;
    bool m_closed = false;
};

}  // namespace

bool WebServer::Impl::Authorized(std::string_view header) {
    const std::optional<Credentials> given = ParseBasicAuthorization(header);
    if (!given) {
        ++m_failures;
        return false;
    }
    // The password's hash is slow on purpose; a login that was right once is known by a
    // quick digest after it, so that every request of a page does not cost that.
    const Sha256Digest digest = Sha256(given->user + '\0' + given->password);
    if (m_accepted && SameDigest(digest, *m_accepted)) {
        return true;
    }
    const bool userRight = SameDigest(Sha256(given->user), Sha256(m_config.user));
    const bool passwordRight = VerifyPassword(given->password, m_config.passwordHash);
    if (userRight && passwordRight) {
        m_accepted = digest;
        m_failures = 0;
        return true;
    }
    ++m_failures;
    return false;
}

const std::string* WebServer::Impl::ChartJs() {
    if (!m_chartJs) {
        std::ifstream file(m_config.chartJsPath, std::ios::binary);
        if (!file) {
            return nullptr;
        }
        std::ostringstream content;
        content << file.rdbuf();
        m_chartJs = content.str();
    }
    return &*m_chartJs;
}

bool WebServer::Impl::Start(std::string& error) {
    beast::error_code ec;
    m_useTls = !m_config.certFile.empty();
    if (m_useTls) {
        m_tls.set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                          ssl::context::no_sslv3 | ssl::context::no_tlsv1 |
                          ssl::context::no_tlsv1_1);
        m_tls.use_certificate_chain_file(m_config.certFile, ec);
        if (ec) {
            error =
                "Das Zertifikat " + m_config.certFile + " läßt sich nicht laden: " + ec.message();
            return false;
        }
        m_tls.use_private_key_file(m_config.keyFile, ssl::context::pem, ec);
        if (ec) {
            error = "Der Schlüssel " + m_config.keyFile + " läßt sich nicht laden: " + ec.message();
            return false;
        }
    }
    const asio::ip::address address = asio::ip::make_address(m_config.address.host, ec);
    if (ec) {
        error = "Die Adresse " + m_config.address.host + " ist keine IP-Adresse.";
        return false;
    }
    const tcp::endpoint endpoint(address, m_config.address.port);
    m_acceptor.open(endpoint.protocol(), ec);
    if (!ec) {
        m_acceptor.set_option(asio::socket_base::reuse_address(true), ec);
        if (address.is_v6()) {
            // [::] means IPv6 only here; 0.0.0.0 is named for IPv4.
            m_acceptor.set_option(asio::ip::v6_only(true), ec);
        }
        m_acceptor.bind(endpoint, ec);
    }
    if (!ec) {
        m_acceptor.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        error = "Auf " + m_config.address.host + ":" + std::to_string(m_config.address.port) +
                " läßt sich nicht lauschen: " + ec.message();
        return false;
    }
    m_port = m_acceptor.local_endpoint().port();
    Accept();
    Poll();
    Heartbeat();
    return true;
}

void WebServer::Impl::Stop() {
    m_stopped = true;
    beast::error_code ignored;
    m_acceptor.close(ignored);
    m_poll.cancel();
    m_heartbeat.cancel();
    m_acceptPause.cancel();
    for (const std::shared_ptr<EventClient>& client : m_clients) {
        client->Close();
    }
    m_clients.clear();
    for (const std::weak_ptr<CsvFlow>& flow : m_flows) {
        if (const auto running = flow.lock()) {
            running->Stop();
        }
    }
    m_exports.join();
}

template <class Session, class... Args>
void WebServer::Impl::Launch(tcp::socket socket, Args&&... args) {
    std::make_shared<Session>(*this, std::move(socket), std::forward<Args>(args)...)->Run();
}

void WebServer::Impl::Accept() {
    m_acceptor.async_accept([self = shared_from_this()](beast::error_code ec, tcp::socket socket) {
        if (self->m_stopped) {
            return;
        }
        if (!ec) {
            if (self->m_connections >= self->Limits().maxConnections) {
                // No room: closed at once rather than queued, so that no one waits on it.
                beast::error_code ignored;
                socket.close(ignored);
            } else if (self->m_useTls) {
                self->Launch<Session<beast::ssl_stream<beast::tcp_stream>>>(std::move(socket),
                                                                            self->m_tls);
            } else {
                self->Launch<Session<beast::tcp_stream>>(std::move(socket));
            }
        } else if (ec != asio::error::operation_aborted) {
            // Out of descriptors or memory: accepting again at once would only spin; the
            // connections that end meanwhile make room.
            self->m_acceptPause.expires_after(std::chrono::milliseconds(100));
            self->m_acceptPause.async_wait([self](beast::error_code waited) {
                if (!waited && !self->m_stopped) {
                    self->Accept();
                }
            });
            return;
        }
        self->Accept();
    });
}

void WebServer::Impl::Broadcast(const std::string& text) {
    const auto chunk = std::make_shared<const std::string>(text);
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        (*it)->Push(chunk);
        it = (*it)->Closed() ? m_clients.erase(it) : std::next(it);
    }
}

// A comment on every stream now and then: a proxy does not take it for idle, and a client
// that is gone shows in the failed write.
void WebServer::Impl::Heartbeat() {
    Broadcast(": \n\n");
    m_heartbeat.expires_after(Limits().heartbeat);
    m_heartbeat.async_wait([self = shared_from_this()](beast::error_code ec) {
        if (!ec && !self->m_stopped) {
            self->Heartbeat();
        }
    });
}

void WebServer::Impl::Poll() {
    std::string chunk = EventChunk(m_station.Poll());
    if (m_station.CheckOverdue()) {
        chunk += "event: overview\ndata: " + m_station.SensorsJson() + "\n\n";
    }
    if (!chunk.empty()) {
        Broadcast(chunk);
    }
    m_poll.expires_after(Limits().pollInterval);
    m_poll.async_wait([self = shared_from_this()](beast::error_code ec) {
        if (!ec && !self->m_stopped) {
            self->Poll();
        }
    });
}

WebServer::WebServer(asio::io_context& io, Station& station, WebConfig config)
    : m_impl(std::make_shared<Impl>(io, station, std::move(config))) {}

WebServer::~WebServer() {
    m_impl->Stop();
}

bool WebServer::Start(std::string& error) {
    return m_impl->Start(error);
}

uint16_t WebServer::Port() const {
    return m_impl->Port();
}

void WebServer::Stop() {
    m_impl->Stop();
}

}  // namespace tavrolin
