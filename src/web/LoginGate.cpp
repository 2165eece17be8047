// SPDX-License-Identifier: GPL-3.0-or-later
#include "web/LoginGate.h"

#include <algorithm>
#include <boost/asio/post.hpp>

namespace tavrolin {

namespace {

using Clock = std::chrono::steady_clock;

// Addresses whose wrong logins are remembered; beyond it, those with nothing waiting are
// forgotten first (many addresses are one of few ways to guess faster, and cost only that).
constexpr std::size_t kMostClients = 4096;
// More wrong logins than these add no delay (the most is reached before), only time to fade.
constexpr int kMostWrongCounted = 8;

}  // namespace

LoginGate::LoginGate(boost::asio::io_context& io, std::string user, std::string passwordHash,
                     Timing timing)
    : m_io(io),
      m_user(std::move(user)),
      m_passwordHash(std::move(passwordHash)),
      m_timing(timing),
      m_wake(io) {}

LoginGate::~LoginGate() {
    m_hashing.join();
}

void LoginGate::Stop() {
    m_stopped = true;
    m_wake.cancel();
    m_clients.clear();
    m_turns.clear();
}

int LoginGate::WrongNow(const Client& client, Clock::time_point now) const {
    if (client.wrong == 0) {
        return 0;
    }
    const auto faded = (now - client.lastWrong) / m_timing.fade;
    return static_cast<int>(std::max<decltype(faded)>(0, client.wrong - faded));
}

Clock::time_point LoginGate::TurnOf(const Client& client, Clock::time_point now) const {
    const int wrong = WrongNow(client, now);
    if (wrong == 0) {
        return now;
    }
    const auto delay = std::min(m_timing.firstDelay * (1 << (wrong - 1)), m_timing.mostDelay);
    return client.lastWrong + delay;
}

void LoginGate::Check(const boost::asio::ip::address& client, std::string_view header, Done done) {
    if (m_stopped) {
        return;
    }
    Waiting waiting{ParseBasicAuthorization(header), {}, std::move(done)};
    if (waiting.given) {
        waiting.digest = Sha256(waiting.given->user + '\0' + waiting.given->password);
        if (m_accepted && SameDigest(waiting.digest, *m_accepted)) {
            waiting.done(true);
            return;
        }
    }
    if (m_clients.size() >= kMostClients) {
        const Clock::time_point now = Clock::now();
        std::erase_if(m_clients, [&](const auto& entry) {
            return entry.second.waiting.empty() && WrongNow(entry.second, now) == 0;
        });
        if (m_clients.size() >= kMostClients) {
            std::erase_if(m_clients,
                          [](const auto& entry) { return entry.second.waiting.empty(); });
        }
    }
    Client& queue = m_clients[client];
    if (queue.waiting.size() >= kMostWaitingPerClient) {
        waiting.done(false);  // one host's guesses beyond a browser's: not even checked
        return;
    }
    if (queue.waiting.empty()) {
        m_turns.push_back(client);
    }
    queue.waiting.push_back(std::move(waiting));
    Next();
}

void LoginGate::Next() {
    if (m_checking || m_stopped || m_turns.empty()) {
        return;
    }
    const Clock::time_point now = Clock::now();
    std::optional<Clock::time_point> earliest;
    for (std::size_t looked = m_turns.size(); looked > 0; --looked) {
        const boost::asio::ip::address address = m_turns.front();
        m_turns.pop_front();
        Client& client = m_clients[address];
        // Known by now (another of the page's requests was checked first): no hashing.
        while (!client.waiting.empty() && m_accepted &&
               SameDigest(client.waiting.front().digest, *m_accepted)) {
            Waiting known = std::move(client.waiting.front());
            client.waiting.pop_front();
            known.done(true);
        }
        if (client.waiting.empty()) {
            continue;
        }
        const Clock::time_point turn = TurnOf(client, now);
        if (turn > now) {
            m_turns.push_back(address);
            earliest = std::min(turn, earliest.value_or(turn));
            continue;
        }
        Waiting waiting = std::move(client.waiting.front());
        client.waiting.pop_front();
        if (!client.waiting.empty()) {
            m_turns.push_back(address);  // its next after every other address's
        }
        m_checking = true;
        boost::asio::post(m_hashing, [this, address, user = m_user, hash = m_passwordHash,
                                      waiting = std::move(waiting)]() mutable {
            // Both compared whatever the first gives, so that the time tells neither.
            bool right = false;
            if (waiting.given) {
                const bool userRight = SameDigest(Sha256(waiting.given->user), Sha256(user));
                const bool passwordRight = VerifyPassword(waiting.given->password, hash);
                right = userRight && passwordRight;
            }
            boost::asio::post(m_io, [this, address, right, waiting = std::move(waiting)]() mutable {
                Checked(address, std::move(waiting), right);
            });
        });
        return;
    }
    if (earliest) {
        m_wake.expires_at(*earliest);
        m_wake.async_wait([this](const boost::system::error_code& ec) {
            if (!ec) {
                Next();
            }
        });
    }
}

void LoginGate::Checked(const boost::asio::ip::address& address, Waiting waiting, bool right) {
    m_checking = false;
    if (m_stopped) {
        return;
    }
    Client& client = m_clients[address];
    const Clock::time_point now = Clock::now();
    if (right) {
        m_accepted = waiting.digest;
        client.wrong = 0;
    } else {
        client.wrong = std::min(WrongNow(client, now) + 1, kMostWrongCounted);
        client.lastWrong = now;
    }
    waiting.done(right);
    Next();
}

}  // namespace tavrolin
