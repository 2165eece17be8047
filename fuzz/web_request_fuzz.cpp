// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as what a browser view's request brings: the request target and an
// Authorization header (ParseTarget, ParseBasicAuthorization). A target that names a route
// decodes to a path of the plain characters only, without dot segments or doubled slashes,
// and a range it takes is a non-empty span; a login read has a user without a colon, and
// encoded again in Base64 reads back as itself.
//
// Input: the target, then a line feed, then the header's value.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "web/HttpTarget.h"

namespace {

std::string Base64(const std::string& plain) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < plain.size(); i += 3) {
        uint32_t bits = static_cast<uint8_t>(plain[i]) << 16;
        if (i + 1 < plain.size())
            bits |= static_cast<uint8_t>(plain[i + 1]) << 8;
        if (i + 2 < plain.size())
            bits |= static_cast<uint8_t>(plain[i + 2]);
        out += kDigits[bits >> 18 & 63];
        out += kDigits[bits >> 12 & 63];
        out += i + 1 < plain.size() ? kDigits[bits >> 6 & 63] : '=';
        out += i + 2 < plain.size() ? kDigits[bits & 63] : '=';
    }
    return out;
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string_view target = input.substr(0, newline);
    const std::string_view header =
        newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

    const tavrolin::Target parsed = tavrolin::ParseTarget(target);
    if (parsed.route != tavrolin::Route::NotFound) {
        const std::optional<std::string> path =
            tavrolin::PercentDecode(target.substr(0, target.find('?')));
        Check(path && path->front() == '/');
        Check(path->find("..") == std::string::npos && path->find("//") == std::string::npos);
        Check(path->find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_./") ==
              std::string::npos);
        Check(parsed.range.range != tavrolin::ChartRange::Chosen ||
              parsed.range.fromMs < parsed.range.toMs);
    }
    if (const auto login = tavrolin::ParseBasicAuthorization(header)) {
        Check(login->user.find(':') == std::string::npos);
        const auto again = tavrolin::ParseBasicAuthorization(
            "Basic " + Base64(login->user + ":" + login->password));
        Check(again && again->user == login->user && again->password == login->password);
    }
    return 0;
}
