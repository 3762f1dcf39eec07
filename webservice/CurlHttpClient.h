#pragma once

// The transport of this platform: libcurl, one easy handle per exchange.

#include "webservice/HttpClient.h"

namespace vr {

class CurlHttpClient : public HttpClient {
public:
    CurlHttpClient();

protected:
    TRawAnswer Transfer(const std::string& url, int timeoutMs) override;
};

}  // namespace vr
