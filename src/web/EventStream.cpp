// SPDX-License-Identifier: GPL-3.0-or-later
// An event stream: the header, what the page missed, then every event the server pushes,
// each chunk shared by all streams and queued per stream within its bound.
#include <deque>

#include "web/WebServerImpl.h"

namespace tavrolin {

namespace {

constexpr int kEventSendBuffer = 64 * 1024;
// Events replayed at a time: some 150 KiB, well within a stream's bound. A stream holds at
// most one page of its own and the pushed chunks, which all streams share; so the streams
// together hold at most some 40 MB however many pages come back at once and never read
// (bench/web_replay_memory.py).
constexpr std::size_t kReplayPage = 256;

template <class Stream>
class EventStream : public EventClient, public std::enable_shared_from_this<EventStream<Stream>> {
public:
    EventStream(ConnectionSlot slot, Stream stream)
        : m_slot(std::move(slot)), m_server(m_slot.Server()), m_stream(std::move(stream)) {}

    void Start(std::optional<int64_t> after) {
        Station& station = m_server.GetStation();
        m_head.set(http::field::content_type, "text/event-stream; charset=utf-8");
        m_head.set(http::field::cache_control, "no-store");
        SecurityHeaders(m_head);
        // How soon a page whose stream broke tries again.
        std::string first = "retry: 2000\n\n";
        first += StateChunk(station);
        if (after) {
            m_replayed = *after;
            Replay(first);
        }
        // What the kernel holds for a client counts towards its backlog too: a small send
        // buffer, so that one that does not read is found out by maxEventBacklog, not after
        // megabytes in the kernel.
        beast::error_code ignored;
        Lowest().socket().set_option(asio::socket_base::send_buffer_size(kEventSendBuffer),
                                     ignored);
        m_writing = true;
        Lowest().expires_after(m_server.Limits().writeTimeout);
        http::async_write_header(
            m_stream, m_serializer,
            [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                self->OnWritten(ec, false);
            });
        m_queued.push_back(std::make_shared<const std::string>(std::move(first)));
        m_queuedBytes += m_queued.back()->size();
        m_server.Subscribe(this->shared_from_this());
    }

    void Push(const std::shared_ptr<const std::string>& chunk) override {
        if (m_closed) {
            return;
        }
        if (m_replayed) {
            // The station has taken in its events already, so the replay brings them in their
            // order; what else it says is said again when the replay is done.
            m_passedOver = true;
            return;
        }
        if (m_queuedBytes + chunk->size() > m_server.Limits().maxEventBacklog) {
            // A client that does not read its events: dropped before it costs more; its page
            // comes back and asks for what it missed.
            Close();
            return;
        }
        m_queued.push_back(chunk);
        m_queuedBytes += chunk->size();
        if (!m_writing) {
            WriteQueued();
        }
    }

    bool Closed() const override { return m_closed; }

    void Close() override {
        m_closed = true;
        CloseConnection(Lowest());
    }

private:
    beast::tcp_stream& Lowest() { return beast::get_lowest_layer(m_stream); }

    // What the page missed, a page of it at a time as the client takes them, so that a page
    // that was gone for hours is whole again within the stream's bound: the events after
    // m_replayed added to `chunk`, and m_replayed moved on, or reset at the end.
    void Replay(std::string& chunk) {
        Station& station = m_server.GetStation();
        std::vector<Station::Event> missed;
        if (!station.EventsAfter(*m_replayed, missed, kReplayPage, m_replayBegun)) {
            // Too much or too long ago: the page loads the overview afresh.
            chunk += "event: reload\ndata: {}\n\n";
            missed.clear();
        }
        AppendEvents(missed, chunk);
        m_replayBegun = true;
        if (missed.size() == kReplayPage) {
            m_replayed = missed.back().id;
            return;
        }
        m_replayed.reset();
        if (m_passedOver) {
            chunk += StateChunk(station) + OverviewChunk(station);
        }
    }

    void WriteQueued() {
        m_writing = true;
        Lowest().expires_after(m_server.Limits().writeTimeout);
        asio::async_write(m_stream, asio::buffer(*m_queued.front()),
                          [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                              self->OnWritten(ec, true);
                          });
    }

    void OnWritten(beast::error_code ec, bool chunk) {
        m_writing = false;
        if (ec) {
            Close();
            return;
        }
        if (chunk) {
            m_queuedBytes -= m_queued.front()->size();
            m_queued.pop_front();
        }
        if (m_queued.empty() && m_replayed) {
            std::string chunk;
            Replay(chunk);
            m_queued.push_back(std::make_shared<const std::string>(std::move(chunk)));
            m_queuedBytes += m_queued.back()->size();
        }
        if (!m_queued.empty()) {
            WriteQueued();
        } else {
            Lowest().expires_never();
        }
    }

    ConnectionSlot m_slot;
    WebServer::Impl& m_server;
    Stream m_stream;
    // The header goes through Beast's serializer; the body is the events, until the
    // connection ends.
    http::response<http::empty_body> m_head{http::status::ok, 11};
    http::response_serializer<http::empty_body> m_serializer{m_head};
    std::deque<std::shared_ptr<const std::string>> m_queued;
    std::size_t m_queuedBytes = 0;
    bool m_writing = false;
    bool m_closed = false;
    // While a replay goes on: the last event of it sent, and whether pushed chunks were
    // passed over meanwhile.
    std::optional<int64_t> m_replayed;
    bool m_replayBegun = false;
    bool m_passedOver = false;
};

}  // namespace

template <class Stream>
void StartEventStream(ConnectionSlot slot, Stream stream, std::optional<int64_t> after) {
    std::make_shared<EventStream<Stream>>(std::move(slot), std::move(stream))->Start(after);
}

template void StartEventStream(ConnectionSlot, TcpStream, std::optional<int64_t>);
template void StartEventStream(ConnectionSlot, TlsStream, std::optional<int64_t>);

}  // namespace tavrolin
