// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "upload/Transport.h"

namespace tavrolin {

// HTTPS through libcurl, with the system's certificates (or those of `caFile`, for a test's
// own authority). One handle, reused, so a network's connection stays open between sends
// where its server allows. Neither the URL nor its secret goes to a log.
class CurlHttpClient : public HttpClient {
public:
    static constexpr long kTimeoutMs = 20000;

    explicit CurlHttpClient(std::string caFile = {});
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    HttpAnswer Send(const HttpRequest& request) override;

private:
    void* m_curl;
    std::string m_caFile;
};

}  // namespace tavrolin
