#pragma once

// The transport of the platform the service is built for: libcurl on Linux
// (CurlHttpClient.cpp), WinHTTP on Windows (WinHttpClient.cpp). The build compiles one of them.

#include <string>

#include "webservice/HttpClient.h"

namespace vr {

// Certificates to trust besides the platform's own store, as the program entry found them
// (SSL_CERT_FILE and SSL_CERT_DIR). Empty texts: the platform's store alone. libcurl takes the
// file as its CA bundle and the directory (hashed names, as c_rehash makes them) as one more CA
// directory; the system's store stays trusted either way. WinHTTP trusts the machine's Root
// store only and ignores both.
struct THttpsTrust {
    std::string caFile;
    std::string caDirectory;
};

class PlatformHttpClient : public HttpClient {
public:
    explicit PlatformHttpClient(THttpsTrust trust = {});

protected:
    TRawAnswer Transfer(const std::string& url, int timeoutMs) override;

private:
    [[maybe_unused]] THttpsTrust trust_;  // read by the libcurl transport only
};

}  // namespace vr
