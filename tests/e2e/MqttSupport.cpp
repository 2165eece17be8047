// SPDX-License-Identifier: GPL-3.0-or-later
#include "MqttSupport.h"

#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavrolin::e2e {

namespace {

using namespace std::chrono_literals;

// A port nobody listens on now. The broker binds it a moment later; Start tries again with
// another one should something have taken it meanwhile.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

struct Library {
    Library() { mosquitto_lib_init(); }
    ~Library() { mosquitto_lib_cleanup(); }
};

}  // namespace

Broker::Broker(const TempDir& dir, Options options) : m_config(dir.File("mosquitto.conf")) {
    std::string config = "allow_anonymous " + std::string(options.login ? "false" : "true") +
                         "\nlog_dest stderr\nlog_type error\nlog_type warning\nlog_type "
                         "notice\nlog_type information\n";
    if (options.persistent) {
        // Started as root, the broker would write its database as the user mosquitto,
        // which may not write into the test's folder: it stays who it is.
        const passwd* user = ::getpwuid(::getuid());
        config += "persistence true\npersistence_location " + dir.Path().string() +
                  "/\nmax_queued_messages 0\nuser " + std::string(user ? user->pw_name : "root") +
                  "\n";
    } else {
        config += "persistence false\n";
    }
    if (options.login) {
        const std::string file = dir.File("passwords");
        const std::size_t colon = options.login->find(':');
        ChildProcess passwd(
            TAVROLIN_MOSQUITTO_PASSWD,
            {"-c", "-b", file, options.login->substr(0, colon), options.login->substr(colon + 1)});
        passwd.Exit(In(5s));
        config += "password_file " + file + "\n";
    }
    testing::WriteBytes(m_config, config);
    for (int attempt = 0; attempt < 5 && !Start(); ++attempt) {
        m_port = 0;
    }
}

bool Broker::Start() {
    if (m_port == 0) {
        m_port = FreePort();
        std::string config = testing::ReadBytes(m_config);
        const std::size_t listener = config.find("listener ");
        if (listener != std::string::npos) {
            config.erase(listener, config.find('\n', listener) + 1 - listener);
        }
        testing::WriteBytes(m_config,
                            "listener " + std::to_string(m_port) + " 127.0.0.1\n" + config);
    }
    m_process = std::make_unique<ChildProcess>(TAVROLIN_MOSQUITTO,
                                               std::vector<std::string>{"-c", m_config});
    return m_process->WaitForStderr(" running", In(10s));
}

bool Broker::Stop(int signal) {
    if (!m_process) {
        return false;
    }
    m_process->Signal(signal);
    m_process->Exit(In(10s));
    return m_process->Pid() < 0;  // reaped, whatever its end
}

Subscriber::Subscriber(int port, std::string filter, Options options)
    : m_filter(std::move(filter)) {
    static Library library;
    const bool persistent = !options.clientId.empty();
    m_mosquitto = mosquitto_new(persistent ? options.clientId.c_str() : nullptr, !persistent, this);
    if (options.user) {
        mosquitto_username_pw_set(m_mosquitto, options.user->c_str(),
                                  options.password ? options.password->c_str() : nullptr);
    }
    mosquitto_connect_callback_set(m_mosquitto, &Subscriber::OnConnect);
    mosquitto_subscribe_callback_set(m_mosquitto, &Subscriber::OnSubscribe);
    mosquitto_message_callback_set(m_mosquitto, &Subscriber::OnMessage);
    mosquitto_publish_callback_set(m_mosquitto, &Subscriber::OnPublish);
    mosquitto_reconnect_delay_set(m_mosquitto, 1, 1, false);
    mosquitto_connect(m_mosquitto, "127.0.0.1", port, 30);
    mosquitto_loop_start(m_mosquitto);
}

Subscriber::~Subscriber() {
    mosquitto_disconnect(m_mosquitto);
    // Forced: a loop that is reconnecting to a broker that has gone would not stop.
    mosquitto_loop_stop(m_mosquitto, true);
    mosquitto_destroy(m_mosquitto);
}

void Subscriber::OnConnect(mosquitto* m, void* self, int rc) {
    auto* s = static_cast<Subscriber*>(self);
    if (rc == 0) {
        mosquitto_subscribe(m, nullptr, s->m_filter.c_str(), 1);
    }
}

void Subscriber::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* s = static_cast<Subscriber*>(self);
    const std::lock_guard lock(s->m_mutex);
    s->m_subscribed = true;
    s->m_changed.notify_all();
}

void Subscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* s = static_cast<Subscriber*>(self);
    const std::lock_guard lock(s->m_mutex);
    s->m_messages.push_back({message->topic,
                             std::string(static_cast<const char*>(message->payload),
                                         static_cast<std::size_t>(message->payloadlen)),
                             message->retain});
    s->m_changed.notify_all();
}

void Subscriber::OnPublish(mosquitto*, void* self, int id) {
    auto* s = static_cast<Subscriber*>(self);
    const std::lock_guard lock(s->m_mutex);
    s->m_acknowledged.insert(id);
    s->m_changed.notify_all();
}

bool Subscriber::Ready(TestClock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_until(lock, deadline, [this] { return m_subscribed; });
}

bool Subscriber::WaitFor(const std::function<bool(const std::vector<Message>&)>& done,
                         TestClock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_until(lock, deadline, [&] { return done(m_messages); });
}

std::vector<Subscriber::Message> Subscriber::Messages() const {
    const std::lock_guard lock(m_mutex);
    return m_messages;
}

void Subscriber::Publish(const std::string& topic, const std::string& payload) {
    mosquitto_publish(m_mosquitto, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 1, false);
}

bool Subscriber::Flush(TestClock::time_point deadline) {
    int id = 0;
    if (mosquitto_publish(m_mosquitto, &id, "e2e/flush", 0, nullptr, 1, false) !=
        MOSQ_ERR_SUCCESS) {
        return false;
    }
    std::unique_lock lock(m_mutex);
    return m_changed.wait_until(lock, deadline, [&] { return m_acknowledged.contains(id); });
}

std::vector<std::string> MqttProfileArgs(const TempDir& dir, int port,
                                         const std::string& mqttLines) {
    WriteProfile(dir.File("p.INI"), "Filename=" + dir.File("log.dat"), dir.File("ttySIM"));
    testing::WriteBytes(dir.File("p.INI"), testing::ReadBytes(dir.File("p.INI")) +
                                               "[MQTT]\r\nHost=127.0.0.1:" + std::to_string(port) +
                                               "\r\nReceiver=e2e\r\n" + mqttLines);
    return {"--profile", dir.File("p.INI"), "--json"};
}

}  // namespace tavrolin::e2e
