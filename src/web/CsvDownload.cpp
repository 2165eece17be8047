// SPDX-License-Identifier: GPL-3.0-or-later
// A CSV download: each piece is read from the archive when the client has taken the one
// before, and sent as a chunk (its length is known only at the end); the connection ends
// with it. So a download is paced by its reader, holds one piece in memory, and one whose
// client is gone is read no further.
#include "web/WebServerImpl.h"

namespace tavrolin {

namespace {

// A small send buffer: the kernel wakes a writer only once half of what it holds is taken,
// which with megabytes queued would leave a slow reader's download without progress for
// longer than writeTimeout.
constexpr int kDownloadSendBuffer = 64 * 1024;

template <class Stream>
class CsvDownload : public std::enable_shared_from_this<CsvDownload<Stream>> {
public:
    CsvDownload(ConnectionSlot slot, Stream stream, Station::CsvExport job)
        : m_slot(std::move(slot)),
          m_server(m_slot.Server()),
          m_stream(std::move(stream)),
          m_job(std::move(job)) {
        m_server.DownloadStarted();
    }
    ~CsvDownload() { m_server.DownloadEnded(); }

    void Start() {
        m_head.set(http::field::content_type, "text/csv; charset=utf-8");
        m_head.set(http::field::content_disposition,
                   "attachment; filename=\"" + m_job.fileName + "\"");
        m_head.set(http::field::cache_control, "no-store");
        SecurityHeaders(m_head);
        m_head.chunked(true);
        m_head.keep_alive(false);
        beast::error_code ignored;
        Lowest().socket().set_option(asio::socket_base::send_buffer_size(kDownloadSendBuffer),
                                     ignored);
        Lowest().expires_after(m_server.Limits().writeTimeout);
        http::async_write_header(
            m_stream, m_serializer,
            [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                if (ec) {
                    self->Close();
                    return;
                }
                self->SendNext();
            });
    }

private:
    beast::tcp_stream& Lowest() { return beast::get_lowest_layer(m_stream); }

    void Close() { CloseConnection(Lowest()); }

    void SendNext() {
        if (m_server.Stopped()) {
            Close();
            return;
        }
        if (!m_server.GetStation().CsvPiece(m_job, m_piece)) {
            // Broken off by the archive: without the last chunk, so that the client sees the
            // download incomplete.
            Close();
            return;
        }
        if (m_piece.empty()) {
            Lowest().expires_after(m_server.Limits().writeTimeout);
            asio::async_write(m_stream, http::make_chunk_last(),
                              [self = this->shared_from_this()](beast::error_code, std::size_t) {
                                  self->Close();
                              });
            return;
        }
        m_pending.emplace(http::make_chunk(asio::const_buffer(m_piece.data(), m_piece.size())));
        WriteSome();
    }

    // A chunk goes out as the client takes it; writeTimeout bounds the time without any
    // progress, not the whole chunk, so that a slow but steady reader gets it all.
    void WriteSome() {
        Lowest().expires_after(m_server.Limits().writeTimeout);
        m_stream.async_write_some(
            *m_pending, [self = this->shared_from_this()](beast::error_code ec, std::size_t n) {
                if (ec) {
                    self->Close();
                    return;
                }
                self->m_pending->consume(n);
                if (beast::buffer_bytes(*self->m_pending) == 0) {
                    self->SendNext();
                } else {
                    self->WriteSome();
                }
            });
    }

    ConnectionSlot m_slot;
    WebServer::Impl& m_server;
    Stream m_stream;
    Station::CsvExport m_job;
    http::response<http::empty_body> m_head{http::status::ok, 11};
    http::response_serializer<http::empty_body> m_serializer{m_head};
    std::string m_piece;
    std::optional<beast::buffers_suffix<http::chunk_body<asio::const_buffer>>> m_pending;
};

}  // namespace

template <class Stream>
void StartCsvDownload(ConnectionSlot slot, Stream stream, Station::CsvExport job) {
    std::make_shared<CsvDownload<Stream>>(std::move(slot), std::move(stream), std::move(job))
        ->Start();
}

template void StartCsvDownload(ConnectionSlot, TcpStream, Station::CsvExport);
template void StartCsvDownload(ConnectionSlot, TlsStream, Station::CsvExport);

}  // namespace tavrolin
