// What only the libcurl transport has: an extra CA bundle named by SSL_CERT_FILE.

#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/support/StandinEnvironment.h"
#include "webservice/PlatformHttpClient.h"

namespace vr {
namespace {

TEST(WebExchangeCurl, TheTestCaIsTrustedThroughSslCertFileOnly) {
    standin::Server& server = test::Standin();
    standin::Response ok;
    ok.headers = {{"Content-Type", "application/json"}};
    ok.body = "{}";
    server.Route("/t", ok);
    PlatformHttpClient client;
    const THttpRequest request{server.Origin() + "/t", {}, 5000};

    const std::string bundle = server.CaFile().string();
    unsetenv("SSL_CERT_FILE");
    std::string message;
    try {
        client.Get(request);
    } catch (const RestError& e) {
        message = e.what();
    }
    setenv("SSL_CERT_FILE", bundle.c_str(), 1);
    EXPECT_TRUE(message.starts_with("REST request failed: ")) << message;
    EXPECT_EQ(client.Get(request).statusCode, 200);
    server.ClearRoutes();
    server.TakeRequests();
}

}  // namespace
}  // namespace vr
