// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/NetworkAnswer.h"

#include <boost/json.hpp>
#include <charconv>

#include "archive/TimeText.h"

namespace tavrolin {

namespace {

constexpr std::size_t kMostText = 200;

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return lower;
}

// The body as one short line: what the network said, for a message and the state file.
std::string OneLine(std::string_view body) {
    std::string line;
    for (const char c : body) {
        const auto u = static_cast<unsigned char>(c);
        if (line.size() >= kMostText) {
            line += "…";
            break;
        }
        line += u < 0x20 || u == 0x7F ? ' ' : c;
    }
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    while (!line.empty() && line.front() == ' ') {
        line.erase(0, 1);
    }
    return line;
}

// Windy's {"message": "..."} and {"retry_after": "2026-…Z"}, where the body is JSON.
std::string JsonField(std::string_view body, std::string_view name) {
    boost::system::error_code error;
    const boost::json::value value = boost::json::parse(body, error);
    if (error || !value.is_object()) {
        return "";
    }
    const boost::json::value* field = value.as_object().if_contains(name);
    return field != nullptr && field->is_string() ? std::string(field->as_string()) : "";
}

std::string StatusText(const HttpAnswer& answer) {
    const std::string said = OneLine(answer.body);
    return "HTTP " + std::to_string(answer.status) + (said.empty() ? "" : ": " + said);
}

Outcome Of(Verdict verdict, std::string text) {
    return {verdict, std::move(text), std::nullopt};
}

Outcome JudgeStatus(Network network, const HttpAnswer& answer, int64_t nowMs);

}  // namespace

Outcome Judge(Network network, const HttpAnswer& answer, int64_t nowMs) {
    Outcome outcome = JudgeStatus(network, answer, nowMs);
    // A Retry-After of seconds, where a server sends one with its 429 or 503.
    int64_t seconds = 0;
    const std::string& after = answer.retryAfter;
    if (!outcome.retryAfterMs && !after.empty() &&
        std::from_chars(after.data(), after.data() + after.size(), seconds).ptr ==
            after.data() + after.size()) {
        outcome.retryAfterMs = seconds * 1000;
    }
    return outcome;
}

namespace {

Outcome JudgeStatus(Network network, const HttpAnswer& answer, int64_t nowMs) {
    if (answer.status == 0) {
        return Of(Verdict::Failed, answer.failure);
    }
    const std::string body = Lower(answer.body);
    const std::string text = StatusText(answer);
    switch (network) {
        case Network::Wunderground:
            if (answer.status == 401 || body.find("invalid") != std::string::npos) {
                return Of(Verdict::Refused, text);
            }
            return Of(answer.status == 200 && body.find("success") != std::string::npos
                          ? Verdict::Sent
                          : Verdict::Failed,
                      text);
        case Network::PWSweather:
            if (OneLine(answer.body).starts_with("ERROR")) {
                return Of(Verdict::Refused, text);
            }
            return Of(answer.status == 200 ? Verdict::Sent : Verdict::Failed, text);
        case Network::Wow:
            if (answer.status == 401 || answer.status == 403) {
                return Of(Verdict::Refused, text);
            }
            if (answer.status == 429) {
                return Of(Verdict::TooSoon, text);
            }
            return Of(answer.status == 200 ? Verdict::Sent : Verdict::Failed, text);
        case Network::Windy: {
            const std::string message = JsonField(answer.body, "message");
            const std::string said =
                "HTTP " + std::to_string(answer.status) +
                (message.empty() ? (answer.body.empty() ? "" : ": " + OneLine(answer.body))
                                 : ": " + OneLine(message));
            if (answer.status == 401 ||
                (answer.status == 400 && Lower(message).find("password") != std::string::npos)) {
                return Of(Verdict::Refused, said);
            }
            if (answer.status == 429) {
                Outcome o = Of(Verdict::TooSoon, said);
                if (const std::optional<IsoTime> at =
                        ParseIsoTime(JsonField(answer.body, "retry_after"))) {
                    o.retryAfterMs = UnixMs(InstantOf(at->time)) - nowMs;
                }
                return o;
            }
            // 409: this observation is there already, from a try whose answer was lost.
            return Of(
                answer.status == 200 || answer.status == 409 ? Verdict::Sent : Verdict::Failed,
                said);
        }
        case Network::OpenSenseMap:
            if (answer.status == 401 || answer.status == 403) {
                return Of(Verdict::Refused, text);
            }
            if (answer.status == 429) {
                return Of(Verdict::TooSoon, text);
            }
            return Of(
                answer.status == 201 || answer.status == 200 ? Verdict::Sent : Verdict::Failed,
                text);
        case Network::Cwop:
            break;
    }
    return Of(Verdict::Failed, text);
}

}  // namespace

Outcome Judge(const AprsAnswer& answer) {
    if (!answer.delivered) {
        return Of(Verdict::Failed, answer.failure);
    }
    return Of(Verdict::Sent, OneLine(answer.serverText));
}

}  // namespace tavrolin
