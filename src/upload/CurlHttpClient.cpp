// SPDX-License-Identifier: GPL-3.0-or-later
#include "upload/CurlHttpClient.h"

#include <curl/curl.h>

#include <cstring>

namespace tavrolin {

namespace {

constexpr std::size_t kMostBody = 64 * 1024;  // the networks answer in a line or two

struct Received {
    std::string body;
    std::string retryAfter;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& received = *static_cast<Received*>(user);
    const std::size_t bytes = size * count;
    received.body.append(data,
                         std::min(bytes, kMostBody - std::min(kMostBody, received.body.size())));
    return bytes;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& received = *static_cast<Received*>(user);
    const std::size_t bytes = size * count;
    const std::string_view line(data, bytes);
    constexpr std::string_view kName = "retry-after:";
    if (line.size() > kName.size() && strncasecmp(line.data(), kName.data(), kName.size()) == 0) {
        std::string value(line.substr(kName.size()));
        while (!value.empty() &&
               (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) {
            value.pop_back();
        }
        received.retryAfter = value.substr(value.find_first_not_of(' ') == std::string::npos
                                               ? value.size()
                                               : value.find_first_not_of(' '));
    }
    return bytes;
}

std::string Failure(CURLcode code, const char* detail) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "Der Name des Servers läßt sich nicht auflösen (keine Verbindung ins Internet?)";
        case CURLE_COULDNT_CONNECT:
            return "Keine Verbindung zum Server";
        case CURLE_OPERATION_TIMEDOUT:
            return "Der Server antwortet nicht (Zeitüberschreitung)";
        case CURLE_PEER_FAILED_VERIFICATION:
            return std::string("Das Zertifikat des Servers ist nicht vertrauenswürdig: ") + detail;
        default:
            return std::string("Keine Antwort: ") +
                   (*detail != '\0' ? detail : curl_easy_strerror(code));
    }
}

}  // namespace

CurlHttpClient::CurlHttpClient(std::string caFile) : m_curl(nullptr), m_caFile(std::move(caFile)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    m_curl = curl_easy_init();
}

CurlHttpClient::~CurlHttpClient() {
    curl_easy_cleanup(static_cast<CURL*>(m_curl));
    curl_global_cleanup();
}

HttpAnswer CurlHttpClient::Send(const HttpRequest& request) {
    HttpAnswer answer;
    CURL* curl = static_cast<CURL*>(m_curl);
    if (curl == nullptr) {
        answer.failure = "libcurl ließ sich nicht einrichten";
        return answer;
    }
    curl_easy_reset(curl);
    Received received;
    char detail[CURL_ERROR_SIZE] = {};
    curl_slist* headers = nullptr;
    for (const std::string& header : request.headers) {
        headers = curl_slist_append(headers, header.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kTimeoutMs / 2);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "tavrolin-upload");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &received);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &received);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    if (!m_caFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, m_caFile.c_str());
    }
    if (request.method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    }
    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    if (code != CURLE_OK) {
        answer.failure = Failure(code, detail);
        return answer;
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
    answer.body = std::move(received.body);
    answer.retryAfter = std::move(received.retryAfter);
    return answer;
}

}  // namespace tavrolin
