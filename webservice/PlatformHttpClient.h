#pragma once

// The transport of the platform the service is built for: libcurl on Linux
// (PlatformHttpClient.cpp), WinHTTP on Windows (WinHttpClient.cpp). The build compiles one of them.

#include "webservice/HttpClient.h"

namespace vr {

class PlatformHttpClient : public HttpClient {
public:
    PlatformHttpClient();

protected:
    TRawAnswer Transfer(const std::string& url, int timeoutMs) override;
};

}  // namespace vr
