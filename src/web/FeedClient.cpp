// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/FeedClient.h"

#include <array>
#include <boost/asio.hpp>

namespace tavrolin {

namespace asio = boost::asio;
using local = asio::local::stream_protocol;

class FeedClient::Impl : public std::enable_shared_from_this<FeedClient::Impl> {
public:
    Impl(asio::io_context& io, std::string path, Handler handler, std::chrono::milliseconds retry)
        : m_socket(io),
          m_retry(io),
          m_path(std::move(path)),
          m_handler(std::move(handler)),
          m_retryAfter(retry) {}

    void Connect() {
        if (m_stopped) {
            return;
        }
        m_reader.Reset();
        m_greeted = false;
        m_socket = local::socket(m_socket.get_executor());
        m_socket.async_connect(local::endpoint(m_path),
                               [self = shared_from_this()](boost::system::error_code ec) {
                                   if (ec) {
                                       self->Again();
                                   } else {
                                       self->Read();
                                   }
                               });
    }

    void Stop() {
        m_stopped = true;
        boost::system::error_code ignored;
        m_retry.cancel();
        m_socket.close(ignored);
    }

private:
    void Read() {
        m_socket.async_read_some(asio::buffer(m_buffer), [self = shared_from_this()](
                                                             boost::system::error_code ec,
                                                             std::size_t n) {
            if (self->m_stopped) {
                return;
            }
            if (ec) {
                self->Lose("der Live-Kanal ist fort");
                return;
            }
            const bool formed = self->m_reader.Take(std::string_view(self->m_buffer.data(), n),
                                                    [&self](const FeedLine& line) {
                                                        self->m_greeted = true;
                                                        self->m_handler.line(line);
                                                    });
            self->m_handler.taken();
            if (!formed) {
                self->Lose("der Live-Kanal sendet Unlesbares (" + self->m_reader.Problem() + ")");
                return;
            }
            self->Read();
        });
    }

    void Lose(const std::string& why) {
        boost::system::error_code ignored;
        m_socket.close(ignored);
        if (m_greeted) {
            m_handler.lost(why);
        }
        Again();
    }

    void Again() {
        if (m_stopped) {
            return;
        }
        m_retry.expires_after(m_retryAfter);
        m_retry.async_wait([self = shared_from_this()](boost::system::error_code ec) {
            if (!ec) {
                self->Connect();
            }
        });
    }

    local::socket m_socket;
    asio::steady_timer m_retry;
    std::string m_path;
    Handler m_handler;
    std::chrono::milliseconds m_retryAfter;
    FeedReader m_reader;
    bool m_greeted = false;
    bool m_stopped = false;
    std::array<char, 16 * 1024> m_buffer{};
};

FeedClient::FeedClient(asio::io_context& io, std::string path, Handler handler,
                       std::chrono::milliseconds retry)
    : m_impl(std::make_shared<Impl>(io, std::move(path), std::move(handler), retry)) {}

FeedClient::~FeedClient() {
    m_impl->Stop();
}

void FeedClient::Start() {
    m_impl->Connect();
}

void FeedClient::Stop() {
    m_impl->Stop();
}

}  // namespace tavrolin
