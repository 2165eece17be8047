// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mqtt/MosquittoConnection.h"

#include <memory>

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace tavrolin {

namespace {

// The broker hears from us at least this often; a connection attempt that gets no answer
// is given up after it, too (libmosquitto's keepalive check closes the socket).
constexpr int kKeepAliveSeconds = 30;
// How long the retained "offline" of an orderly stop may take to be acknowledged.
constexpr int64_t kOfflineWaitMs = 1000;
constexpr int kMaxPollMs = 1000;

// Why a connection attempt failed, from the socket's error.
MqttFailure FailureOfErrno(int error) {
    switch (error) {
        case ECONNREFUSED:
            return MqttFailure::Refused;
        default:
            // ETIMEDOUT, EHOSTUNREACH, ENETUNREACH, ENETDOWN and whatever else keeps the
            // packets from arriving.
            return MqttFailure::Unreachable;
    }
}

// libmosquitto's result of a connect call or of its loop.
MqttFailure FailureOfResult(int rc, int error) {
    switch (rc) {
        case MOSQ_ERR_EAI:
            return MqttFailure::HostUnknown;
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE:
            return MqttFailure::TlsFailed;
        case MOSQ_ERR_ERRNO:
            return FailureOfErrno(error);
        default:
            return MqttFailure::Unreachable;
    }
}

// The broker's answer to CONNECT (MQTT 3.1.1 return codes).
MqttFailure FailureOfConnack(int rc) {
    switch (rc) {
        case 4:
            return MqttFailure::BadCredentials;
        case 5:
            return MqttFailure::NotAuthorised;
        default:
            return MqttFailure::BrokerRefused;
    }
}

}  // namespace

std::string LocalHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "tavrolin";
    }
    return name;
}

MosquittoConnection::MosquittoConnection(const MqttSettings& settings, MqttOutbox& outbox)
    : m_settings(settings),
      // Several programs of one receiver (the window, the logger) may publish at once: the
      // process id keeps their client ids apart.
      m_clientId("tavrolin-" + settings.receiver + "-" + std::to_string(::getpid())),
      m_outbox(outbox),
      m_publisher(settings, outbox, *this,
                  MqttPublisher::Options{.seed = static_cast<uint32_t>(::getpid())}) {}

MosquittoConnection::~MosquittoConnection() {
    Stop(std::chrono::milliseconds(0));
    if (m_mosquitto != nullptr) {
        mosquitto_destroy(m_mosquitto);
    }
    if (m_libraryInitialised) {
        mosquitto_lib_cleanup();
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
}

int64_t MosquittoConnection::NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool MosquittoConnection::Start(std::string& error) {
    mosquitto_lib_init();
    m_libraryInitialised = true;
    m_mosquitto = mosquitto_new(m_clientId.c_str(), true, this);
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_mosquitto == nullptr || m_wakeFd < 0) {
        error = "Die Verbindung zum MQTT-Broker läßt sich nicht einrichten (kein Speicher?).";
        return false;
    }
    if (Configure(error) != MqttFailure::None) {
        return false;
    }
    m_outbox.SetWaker([this] { Wake(); });
    m_thread = std::thread([this] { Run(); });
    return true;
}

MqttFailure MosquittoConnection::Configure(std::string& error) {
    mosquitto_connect_callback_set(m_mosquitto, &MosquittoConnection::OnConnect);
    mosquitto_publish_callback_set(m_mosquitto, &MosquittoConnection::OnPublish);
    mosquitto_message_callback_set(m_mosquitto, &MosquittoConnection::OnMessage);
    // Small messages go out at once rather than waiting to be merged with the next.
    mosquitto_int_option(m_mosquitto, MOSQ_OPT_TCP_NODELAY, 1);
    // What the publisher's window lets go is written at once, not held back by libmosquitto's
    // own limit (20).
    mosquitto_int_option(m_mosquitto, MOSQ_OPT_SEND_MAXIMUM,
                         static_cast<int>(m_publisher.Window()));
    const std::string& will = m_publisher.WillTopic();
    const std::string_view offline = MqttPublisher::kOffline;
    int rc = mosquitto_will_set(m_mosquitto, will.c_str(), static_cast<int>(offline.size()),
                                offline.data(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !m_settings.user.empty()) {
        rc =
            mosquitto_username_pw_set(m_mosquitto, m_settings.user.c_str(),
                                      m_settings.password ? m_settings.password->c_str() : nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        error = "Die MQTT-Einstellungen (Topic, User) werden von libmosquitto abgelehnt: " +
                std::string(mosquitto_strerror(rc));
        return MqttFailure::BrokerRefused;
    }
    if (!m_settings.caFile.empty()) {
        // Without it the client would connect in the clear: then it does not connect.
        rc = mosquitto_tls_set(m_mosquitto, m_settings.caFile.c_str(), nullptr, nullptr, nullptr,
                               nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = "Die CA-Datei " + m_settings.caFile +
                    " (CAFile) wird für TLS nicht angenommen: " + mosquitto_strerror(rc);
            return MqttFailure::TlsFailed;
        }
    }
    return MqttFailure::None;
}

std::size_t MosquittoConnection::Stop(std::chrono::milliseconds drain) {
    if (m_thread.joinable()) {
        m_drainUntilMs = NowMs() + drain.count();
        m_stopRequested = true;
        Wake();
        m_thread.join();
        m_outbox.SetWaker(nullptr);
    }
    return m_outbox.Queued();
}

void MosquittoConnection::Wake() const {
    const uint64_t one = 1;
    // A full counter already wakes the loop; nothing is lost when this write fails.
    [[maybe_unused]] const ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

MqttClient::Handed MosquittoConnection::Publish(const std::string& topic, std::string_view payload,
                                                int qos, bool retain) {
    int id = 0;
    const int rc = mosquitto_publish(m_mosquitto, &id, topic.c_str(),
                                     static_cast<int>(payload.size()), payload.data(), qos, retain);
    switch (rc) {
        case MOSQ_ERR_SUCCESS:
            return {Handed::Result::Sent, id};
        case MOSQ_ERR_INVAL:
        case MOSQ_ERR_PAYLOAD_SIZE:
        case MOSQ_ERR_MALFORMED_UTF8:
        case MOSQ_ERR_OVERSIZE_PACKET:
        case MOSQ_ERR_QOS_NOT_SUPPORTED:
            return {Handed::Result::Refused, 0};
        default:
            // Not connected, the socket failed while writing (the loop sees it next), or no
            // memory. libmosquitto may have kept the message; the next connection's client is
            // a fresh one, so it goes once, from the outbox.
            return {Handed::Result::NotNow, 0};
    }
}

void MosquittoConnection::Subscribe(const std::string& topic) {
    mosquitto_subscribe(m_mosquitto, nullptr, topic.c_str(), 1);
}

void MosquittoConnection::OnConnect(mosquitto*, void* self, int rc) {
    auto* c = static_cast<MosquittoConnection*>(self);
    c->m_fresh = false;
    if (rc == 0) {
        c->m_publisher.OnConnected(NowMs());
    } else {
        c->m_pending = FailureOfConnack(rc);
    }
}

void MosquittoConnection::OnPublish(mosquitto*, void* self, int id) {
    static_cast<MosquittoConnection*>(self)->m_publisher.OnPublished(id);
}

void MosquittoConnection::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    const std::string_view payload(static_cast<const char*>(message->payload),
                                   static_cast<std::size_t>(std::max(message->payloadlen, 0)));
    static_cast<MosquittoConnection*>(self)->m_publisher.OnMessage(message->topic, payload,
                                                                   NowMs());
}

void MosquittoConnection::Attempt(int64_t nowMs) {
    m_pending = MqttFailure::None;
    if (!m_fresh) {
        std::string error;
        const MqttFailure failure =
            mosquitto_reinitialise(m_mosquitto, m_clientId.c_str(), true, this) == MOSQ_ERR_SUCCESS
                ? Configure(error)
                : MqttFailure::Unreachable;
        if (failure != MqttFailure::None) {
            m_publisher.OnFailure(failure, nowMs);
            return;
        }
        m_fresh = true;
    }
    // Resolving the name and starting the TCP connect may take a while; this thread is
    // there to wait. The CONNECT itself goes out when the socket is writable.
    const int rc = mosquitto_connect_async(m_mosquitto, m_settings.host.c_str(), m_settings.port,
                                           kKeepAliveSeconds);
    const int error = errno;
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(m_mosquitto) >= 0) {
        m_socketOpen = true;
        return;
    }
    m_publisher.OnFailure(FailureOfResult(rc, error), nowMs);
}

bool MosquittoConnection::Service(int timeoutMs) {
    const int fd = mosquitto_socket(m_mosquitto);
    // The broker's acknowledgements are left in the socket until the loop wakes anyway (the
    // tick has queued readings, or a second has passed) and are then taken together: one
    // wake per poll, not one per message. Incoming data are watched only while progress waits
    // for the broker: connecting, a full window, a stop. A connection that ends is seen at
    // once all the same, before anything more is handed to it: the peer's FIN (POLLRDHUP),
    // a reset (POLLERR, POLLHUP).
    const bool watch = !m_publisher.Connected() || m_stopRequested || m_publisher.WindowFull();
    const short watched = static_cast<short>((watch ? POLLIN : POLLRDHUP) |
                                             (mosquitto_want_write(m_mosquitto) ? POLLOUT : 0));
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {fd, watched, 0}};
    if (::poll(fds, 2, timeoutMs) < 0) {
        fds[0].revents = fds[1].revents = 0;
    }
    if ((fds[0].revents & POLLIN) != 0) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &count, sizeof count);
    }
    const short events = fds[1].revents;
    if (!m_publisher.Connected() && (events & (POLLOUT | POLLERR | POLLHUP)) != 0) {
        // The outcome of the TCP connect: the loop calls below only say that it failed.
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0) {
            m_pending = FailureOfErrno(error);
        }
    }
    int rc = MOSQ_ERR_SUCCESS;
    if (!watch || (events & (POLLIN | POLLERR | POLLHUP)) != 0) {
        rc = mosquitto_loop_read(m_mosquitto, 1);
    }
    if (rc == MOSQ_ERR_SUCCESS && (events & POLLOUT) != 0 && mosquitto_socket(m_mosquitto) >= 0) {
        rc = mosquitto_loop_write(m_mosquitto, 1);
    }
    if (rc != MOSQ_ERR_SUCCESS && m_pending == MqttFailure::None) {
        m_pending = FailureOfResult(rc, errno);
    }
    if (mosquitto_socket(m_mosquitto) >= 0) {
        mosquitto_loop_misc(m_mosquitto);
    }
    return mosquitto_socket(m_mosquitto) >= 0;
}

void MosquittoConnection::Ended(int64_t nowMs) {
    m_socketOpen = false;
    MqttFailure failure = m_publisher.Connected() ? MqttFailure::Lost : m_pending;
    if (failure == MqttFailure::None) {
        failure = MqttFailure::Unreachable;
    }
    m_pending = MqttFailure::None;
    m_publisher.OnFailure(failure, nowMs);
}

bool MosquittoConnection::StopDone(int64_t nowMs) {
    if (!m_publisher.Connected()) {
        return true;  // nothing more can go out
    }
    if (!m_offlineId) {
        if (!m_publisher.Idle() && nowMs < m_drainUntilMs) {
            return false;
        }
        m_offlineId = m_publisher.PublishOffline();
        m_offlineDeadlineMs = nowMs + kOfflineWaitMs;
        return !m_offlineId;
    }
    return !m_publisher.InFlight(*m_offlineId) || nowMs >= *m_offlineDeadlineMs;
}

void MosquittoConnection::Run() {
    for (;;) {
        const int64_t now = NowMs();
        if (m_stopRequested && StopDone(now)) {
            break;
        }
        if (!m_socketOpen && !m_stopRequested && now >= m_publisher.NextAttemptMs()) {
            Attempt(now);
        }
        m_publisher.Pump(now);

        int64_t timeout = kMaxPollMs;
        if (!m_socketOpen) {
            timeout = std::min(timeout, m_publisher.NextAttemptMs() - now);
        }
        if (const std::optional<int64_t> timer = m_publisher.NextTimerMs()) {
            timeout = std::min(timeout, *timer - now);
        }
        if (m_stopRequested) {
            timeout = std::min<int64_t>(timeout, 50);
        }
        const int timeoutMs = static_cast<int>(std::max<int64_t>(timeout, 0));
        if (m_socketOpen) {
            if (!Service(timeoutMs)) {
                Ended(NowMs());
            }
        } else {
            pollfd wake{m_wakeFd, POLLIN, 0};
            if (::poll(&wake, 1, timeoutMs) > 0) {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(m_wakeFd, &count, sizeof count);
            }
        }
    }
    if (!m_socketOpen) {
        return;
    }
    if (m_offlineId && !m_publisher.InFlight(*m_offlineId)) {
        // The broker has the "offline": leave with DISCONNECT, which drops the last will.
        mosquitto_disconnect(m_mosquitto);
        const int64_t until = NowMs() + 200;
        while (mosquitto_socket(m_mosquitto) >= 0 && NowMs() < until) {
            Service(20);
        }
    }
    // Otherwise the socket closes without DISCONNECT when the connection is destroyed, and
    // the broker publishes the last will "offline" in our place.
}

MqttConnectionFactory MosquittoConnections() {
    return [](const MqttSettings& settings, MqttOutbox& outbox) {
        return std::make_unique<MosquittoConnection>(settings, outbox);
    };
}

}  // namespace tavrolin
