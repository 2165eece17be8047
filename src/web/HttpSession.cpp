// SPDX-License-Identifier: GPL-3.0-or-later
// One connection's requests, one after another (keep-alive), until one of them turns it
// into an event stream or a download.
#include "web/HttpTarget.h"
#include "web/WebAssets.h"
#include "web/WebServerImpl.h"

namespace tavrolin {

namespace {

using Response = http::response<http::string_body>;

// What a kept connection reads at once of its next request.
constexpr std::size_t kFirstBytes = 4096;

// A request whose Transfer-Encoding does not end in chunked has no length that a server can
// know, and HTTP/1.0 has no chunked at all (RFC 9112, 6.1 and 6.3): either is answered 400
// and the connection closed, so that what follows is never taken for a request of its own
// (a proxy in front of this may frame it otherwise). The last of several fields counts.
bool MisFramed(const http::request<http::empty_body>& req) {
    const auto [first, end] = req.equal_range(http::field::transfer_encoding);
    if (first == end) {
        return false;
    }
    if (req.version() < 11) {
        return true;
    }
    std::string_view last;
    for (auto field = first; field != end; ++field) {
        last = field->value();
    }
    std::string_view coding;
    for (const auto& token : http::token_list(last)) {
        coding = token;
    }
    return !beast::iequals(coding, "chunked");
}

template <class Stream>
class HttpSession : public std::enable_shared_from_this<HttpSession<Stream>> {
public:
    HttpSession(ConnectionSlot slot, Stream stream)
        : m_slot(std::move(slot)), m_server(m_slot.Server()), m_stream(std::move(stream)) {}

    void Run() {
        if constexpr (std::is_same_v<Stream, TcpStream>) {
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

private:
    beast::tcp_stream& Lowest() { return beast::get_lowest_layer(m_stream); }

    void Close() { CloseConnection(Lowest()); }

    // The first request must come whole within readTimeout; on a kept connection the next
    // may take idleTimeout to begin, and then as long as the first.
    void Read() {
        m_parser.emplace();
        m_parser->header_limit(static_cast<std::uint32_t>(m_server.Limits().maxHeaderBytes));
        m_parser->body_limit(0);
        if (m_requests == 0 || m_buffer.size() > 0) {
            ReadRequest();
            return;
        }
        Lowest().expires_after(m_server.Limits().idleTimeout);
        m_stream.async_read_some(
            m_buffer.prepare(kFirstBytes),
            [self = this->shared_from_this()](beast::error_code ec, std::size_t n) {
                if (ec) {
                    self->Close();
                    return;
                }
                self->m_buffer.commit(n);
                self->ReadRequest();
            });
    }

    void ReadRequest() {
        Lowest().expires_after(m_server.Limits().readTimeout);
        http::async_read_header(m_stream, m_buffer, *m_parser,
                                [self = this->shared_from_this()](
                                    beast::error_code ec, std::size_t) { self->OnHeader(ec); });
    }

    void OnHeader(beast::error_code ec) {
        if (!ec && MisFramed(m_parser->get())) {
            ++m_requests;
            Refuse(http::status::bad_request);
        } else if (ec || m_parser->is_done()) {
            OnRead(ec);
        } else {
            // A body, which is refused when it comes (body_limit).
            http::async_read(m_stream, m_buffer, *m_parser,
                             [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                                 self->OnRead(ec);
                             });
        }
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

    std::shared_ptr<Response> Text(http::status status, std::string body,
                                   std::string_view type = "text/plain; charset=utf-8") {
        return std::make_shared<Response>(TextAnswer(status, std::move(body), type));
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
        if (!m_server.LoginRequired()) {
            Answer(req, ParseTarget(req.target()));
            return;
        }
        const auto header = req.find(http::field::authorization);
        if (header == req.end()) {
            Unauthorized(req);
            return;
        }
        // The request stays in the parser until the answer is sent.
        m_server.Login().Check(m_slot.Client(), header->value(),
                               [self = this->shared_from_this()](bool right) {
                                   const auto& req = self->m_parser->get();
                                   if (right) {
                                       self->Answer(req, ParseTarget(req.target()));
                                   } else {
                                       self->Unauthorized(req);
                                   }
                               });
    }

    void Unauthorized(const http::request<http::empty_body>& req) {
        auto res = Text(http::status::unauthorized, StatusText(http::status::unauthorized));
        res->set(http::field::www_authenticate, "Basic realm=\"Tavrolin\", charset=\"UTF-8\"");
        res->keep_alive(req.keep_alive());
        Send(std::move(res));
    }

    void Answer(const http::request<http::empty_body>& req, const Target& target) {
        Station& station = m_server.GetStation();
        std::shared_ptr<Response> res;
        const auto json = [this](std::string body) {
            return Text(http::status::ok, std::move(body), "application/json; charset=utf-8");
        };
        switch (target.route) {
            case Route::Overview:
            case Route::SensorPage:
            case Route::ReportPage:
            case Route::RecordsPage:
            case Route::Asset: {
                const WebAsset* asset =
                    FindAsset(target.route == Route::Overview      ? "index.html"
                              : target.route == Route::SensorPage  ? "sensor.html"
                              : target.route == Route::ReportPage  ? "report.html"
                              : target.route == Route::RecordsPage ? "records.html"
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
                res = json(station.SeriesJson(target.sensor, target.range, target.since));
                break;
            case Route::Csv:
                if (!m_server.DownloadRoom()) {
                    res = Text(http::status::service_unavailable,
                               "Gerade laufen zu viele Downloads; bitte gleich noch einmal.\n");
                    res->set(http::field::retry_after, "5");
                    break;
                }
                StartCsvDownload(std::move(m_slot), std::move(m_stream),
                                 station.Csv(target.sensor, target.range));
                return;
            case Route::Metrics:
                res = Text(http::status::ok, station.Metrics(),
                           "text/plain; version=0.0.4; charset=utf-8");
                break;
            case Route::Today:
                res = json(station.TodayJson());
                break;
            case Route::Zone:
                res = json(station.ZoneJson());
                break;
            case Route::Report:
            case Route::Records:
                res = Climate(target.route == Route::Report ? station.Report(target.climate)
                                                            : station.Records(target.climate));
                break;
            case Route::BadRequest:
                res = Text(http::status::bad_request, target.error);
                break;
            case Route::NotFound:
                res = Text(http::status::not_found, StatusText(http::status::not_found));
                break;
        }
        res->keep_alive(req.keep_alive());
        Send(std::move(res));
    }

    // A report or the records; a CSV as a download.
    std::shared_ptr<Response> Climate(Station::ClimateAnswer answer) {
        auto res =
            Text(static_cast<http::status>(answer.status), std::move(answer.body), answer.type);
        if (!answer.fileName.empty()) {
            res->set(http::field::content_disposition,
                     "attachment; filename=\"" + answer.fileName + "\"");
        }
        return res;
    }

    void Send(std::shared_ptr<Response> res) {
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

    // Hands the connection over to an event stream, which starts after what the page saw
    // last (where it says).
    void StartEvents(const http::request<http::empty_body>& req, const Target& target) {
        std::optional<int64_t> after = target.after;
        if (const auto last = req.find("Last-Event-ID"); last != req.end()) {
            const Target asked = ParseTarget("/events?after=" + std::string(last->value()));
            after = asked.after ? asked.after : after;
        }
        StartEventStream(std::move(m_slot), std::move(m_stream), after);
    }

    ConnectionSlot m_slot;
    WebServer::Impl& m_server;
    Stream m_stream;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::empty_body>> m_parser;
    int m_requests = 0;
};

}  // namespace

template <class Stream>
void StartHttpSession(ConnectionSlot slot, Stream stream) {
    std::make_shared<HttpSession<Stream>>(std::move(slot), std::move(stream))->Run();
}

template void StartHttpSession(ConnectionSlot, TcpStream);
template void StartHttpSession(ConnectionSlot, TlsStream);

}  // namespace tavrolin
