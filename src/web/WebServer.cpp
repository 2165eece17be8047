// SPDX-License-Identifier: GPL-3.0-or-later
// The server itself: the listener, the login, the station's events to every stream, the
// live feed and the archive's commits. The connections are HttpSession's, EventStream's and
// CsvDownload's.
#include <algorithm>
#include <fstream>
#include <sstream>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "web/HttpTarget.h"
#include "web/WebServerImpl.h"

namespace tavrolin {

namespace {

// Sent with every answer: no script but the pages' own files (no inline script), nothing
// from elsewhere (the web app manifest and its icon are ours too), not to be framed; types as
// declared; no address of ours in other sites' logs.
constexpr const char* kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; manifest-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

}  // namespace

void SecurityHeaders(http::fields& fields) {
    fields.set("Content-Security-Policy", kContentSecurityPolicy);
    fields.set("X-Content-Type-Options", "nosniff");
    fields.set("Referrer-Policy", "no-referrer");
    fields.set("X-Frame-Options", "DENY");
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

http::response<http::string_body> TextAnswer(http::status status, std::string body,
                                             std::string_view type) {
    http::response<http::string_body> res(status, 11);
    res.set(http::field::content_type, type);
    res.set(http::field::cache_control, "no-store");
    SecurityHeaders(res);
    res.body() = std::move(body);
    res.prepare_payload();
    return res;
}

void AppendEvents(const std::vector<Station::Event>& events, std::string& chunk) {
    for (const Station::Event& e : events) {
        chunk += "id: " + std::to_string(e.id) + "\ndata: " + e.data + "\n\n";
    }
}

std::string EventChunk(const std::vector<Station::Event>& events) {
    std::string chunk;
    AppendEvents(events, chunk);
    return chunk;
}

std::string StateChunk(const Station& station) {
    return "event: state\ndata: " + station.StateJson() + "\n\n";
}

std::string OverviewChunk(Station& station) {
    return "event: overview\ndata: " + station.SensorsJson() + "\n\n";
}

void CloseConnection(beast::tcp_stream& stream) {
    beast::error_code ignored;
    stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream.close();
}

ConnectionSlot::ConnectionSlot(WebServer::Impl& server, const asio::ip::address& client)
    : m_server(server.shared_from_this()), m_client(client) {
    m_server->Joined(m_client);
}

ConnectionSlot::~ConnectionSlot() {
    if (m_server) {
        m_server->Left(m_client);
    }
}

void WebServer::Impl::Joined(const asio::ip::address& client) {
    ++m_connections;
    ++m_connectionsOf[client];
}

void WebServer::Impl::Left(const asio::ip::address& client) {
    --m_connections;
    if (const auto it = m_connectionsOf.find(client);
        it != m_connectionsOf.end() && --it->second == 0) {
        m_connectionsOf.erase(it);
    }
}

WebServer::Impl::Impl(asio::io_context& io, Station& station, WebConfig config)
    : m_io(io),
      m_station(station),
      m_config(std::move(config)),
      m_acceptor(io),
      m_poll(io),
      m_heartbeat(io),
      m_acceptPause(io),
      m_tls(ssl::context::tls_server) {
    if (!m_config.user.empty()) {
        m_login = std::make_unique<LoginGate>(
            io, m_config.user, m_config.passwordHash,
            LoginGate::Timing{Limits().failedLoginDelay, Limits().mostFailedLoginDelay,
                              Limits().failedLoginFade});
    }
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
    FollowFeed();
    return true;
}

void WebServer::Impl::Stop() {
    m_stopped = true;
    beast::error_code ignored;
    m_acceptor.close(ignored);
    m_poll.cancel();
    m_heartbeat.cancel();
    if (m_feed) {
        m_feed->Stop();
    }
    m_acceptPause.cancel();
    if (m_login) {
        m_login->Stop();
    }
    for (const std::shared_ptr<EventClient>& client : m_clients) {
        client->Close();
    }
    m_clients.clear();
}

void WebServer::Impl::Accept() {
    m_acceptor.async_accept([self = shared_from_this()](beast::error_code ec, tcp::socket socket) {
        if (self->m_stopped) {
            return;
        }
        if (!ec) {
            beast::error_code failed;
            const asio::ip::address client = socket.remote_endpoint(failed).address();
            const auto of = self->m_connectionsOf.find(client);
            if (failed || self->m_connections >= self->Limits().maxConnections ||
                (of != self->m_connectionsOf.end() &&
                 of->second >= self->Limits().maxConnectionsPerAddress)) {
                // No room, or this host has its share: closed at once rather than queued, so
                // that no one waits on it, and one host cannot take every slot.
                beast::error_code ignored;
                socket.close(ignored);
            } else if (self->m_useTls) {
                StartHttpSession(ConnectionSlot(*self, client),
                                 TlsStream(std::move(socket), self->m_tls));
            } else {
                StartHttpSession(ConnectionSlot(*self, client), TcpStream(std::move(socket)));
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

void WebServer::Impl::Prune() {
    const std::size_t before = m_clients.size();
    m_clients.remove_if(
        [](const std::shared_ptr<EventClient>& client) { return client->Closed(); });
    if (m_clients.size() < before) {
#ifdef __GLIBC__
        // What the streams held (a replay's page each, some 150 KiB) lies between what is
        // still in use; without this the heap would keep it after many pages have gone.
        malloc_trim(0);
#endif
    }
}

void WebServer::Impl::Poll() {
    Prune();
    std::string chunk;
    if (const std::optional<std::string> notice = m_station.CheckArchive()) {
        std::fprintf(stderr, "tavrolin-web: %s\n", notice->c_str());
        chunk += StateChunk(m_station) + OverviewChunk(m_station);
    }
    chunk += EventChunk(m_station.Poll());
    if (m_station.CheckOverdue()) {
        chunk += OverviewChunk(m_station);
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

void WebServer::Impl::FollowFeed() {
    if (m_config.livePath.empty()) {
        return;
    }
    FeedClient::Handler handler;
    handler.line = [this](const FeedLine& line) {
        switch (line.kind) {
            case FeedLine::Kind::Greeting:
                std::fprintf(stderr, "tavrolin-web: live über %s\n", m_config.livePath.c_str());
                AppendEvents(m_station.FeedGreeting(line.key), m_fedChunk);
                m_fedChunk += StateChunk(m_station);
                break;
            case FeedLine::Kind::Reading:
                AppendEvents(m_station.FeedReading(line.key, *line.reading), m_fedChunk);
                break;
            case FeedLine::Kind::Commit:
                m_station.FeedCommitted(line.key);
                break;
            case FeedLine::Kind::Invalid:
                break;
        }
    };
    handler.taken = [this] {
        if (!m_fedChunk.empty()) {
            Broadcast(m_fedChunk);
            m_fedChunk.clear();
        }
    };
    handler.lost = [this](const std::string& why) {
        std::fprintf(stderr,
                     "tavrolin-web: %s; die Ansicht folgt bis zu seiner Rückkehr dem "
                     "Archiv.\n",
                     why.c_str());
        m_station.FeedLost();
        Broadcast(StateChunk(m_station));
    };
    m_feed = std::make_unique<FeedClient>(m_io, m_config.livePath, std::move(handler),
                                          Limits().feedRetry);
    m_feed->Start();
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

std::string WebServer::Url() const {
    const WebConfig& config = m_impl->Config();
    const bool v6 = config.address.host.find(':') != std::string::npos;
    return (config.certFile.empty() ? "http://" : "https://") +
           (v6 ? "[" + config.address.host + "]" : config.address.host) + ":" +
           std::to_string(Port()) + "/";
}

void WebServer::Stop() {
    m_impl->Stop();
}

}  // namespace tavrolin
