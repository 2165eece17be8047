// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "web/HttpTarget.h"
#include "web/PasswordHash.h"

namespace tavrolin {

// Who may come in with the view's login. The password's hash is slow on purpose (some tens
// of milliseconds), so it is checked on a thread of its own, one check at a time: a flood of
// guesses costs the serving thread nothing and gets at most one check in that time. Each
// client address waits its turn, round by round, and after wrong logins the next check of
// its own waits longer, up to the most, forgetting one wrong login every `fade`: so the
// owner's login from another host gets in at the next turn while someone guesses, and an
// owner's typo costs a quarter of a second. A login that was right once is known after it by
// a quick digest, so that the requests of a page that is in cost no hashing.
class LoginGate {
public:
    struct Timing {
        std::chrono::milliseconds firstDelay;  // after one wrong login, doubled with each
        std::chrono::milliseconds mostDelay;
        std::chrono::milliseconds fade;
    };
    using Done = std::function<void(bool right)>;

    LoginGate(boost::asio::io_context& io, std::string user, std::string passwordHash,
              Timing timing);
    ~LoginGate();
    LoginGate(const LoginGate&) = delete;
    LoginGate& operator=(const LoginGate&) = delete;

    // Whether the request's Authorization header is the login, told to `done` on the
    // serving thread: at once for the login already known, else at the address's turn.
    void Check(const boost::asio::ip::address& client, std::string_view header, Done done);
    // No more checks; those waiting are never answered.
    void Stop();

private:
    struct Waiting {
        std::optional<Credentials> given;
        Sha256Digest digest{};
        Done done;
    };
    struct Client {
        int wrong = 0;  // wrong logins in a row, as of lastWrong
        std::chrono::steady_clock::time_point lastWrong;
        std::deque<Waiting> waiting;
    };
    // The most checks one address may have waiting: more than a browser opens at once.
    static constexpr std::size_t kMostWaitingPerClient = 16;

    int WrongNow(const Client& client, std::chrono::steady_clock::time_point now) const;
    std::chrono::steady_clock::time_point TurnOf(const Client& client,
                                                 std::chrono::steady_clock::time_point now) const;
    // Starts the next check whose turn it is, or waits for the earliest.
    void Next();
    void Checked(const boost::asio::ip::address& client, Waiting waiting, bool right);

    boost::asio::io_context& m_io;
    const std::string m_user;
    const std::string m_passwordHash;
    const Timing m_timing;
    std::optional<Sha256Digest> m_accepted;  // of the last login that was right
    std::map<boost::asio::ip::address, Client> m_clients;
    std::deque<boost::asio::ip::address> m_turns;  // the addresses with checks waiting
    boost::asio::steady_timer m_wake;
    bool m_checking = false;
    bool m_stopped = false;
    boost::asio::thread_pool m_hashing{1};
};

}  // namespace tavrolin
