// What only the libcurl transport has or shows: certificates trusted besides the system's
// store, given to the client as a CA bundle and a CA directory (the service's entry takes them
// from SSL_CERT_FILE and SSL_CERT_DIR), and the bound of an answer whose head trickles in.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/StandinEnvironment.h"
#include "tests/support/TempDir.h"
#include "webservice/PlatformHttpClient.h"

namespace vr {
namespace {

namespace fs = std::filesystem;

class WebExchangeCurl : public ::testing::Test {
protected:
    WebExchangeCurl() {
        standin::Response ok;
        ok.headers = {{"Content-Type", "application/json"}};
        ok.body = "{}";
        server.Route("/t", ok);
    }
    ~WebExchangeCurl() override {
        server.ClearRoutes();
        server.TakeRequests();
    }

    // The status of the exchange, or the failure's message.
    std::string Outcome(const THttpsTrust& trust) {
        PlatformHttpClient client(trust);
        try {
            return std::to_string(client.Get({server.Origin() + "/t", {}, 5000}).statusCode);
        } catch (const RestError& e) {
            return e.what();
        }
    }

    // A CA directory as OpenSSL reads one: the certificate under its hashed name.
    fs::path HashedDirectory(const fs::path& certificate) {
        fs::copy_file(certificate, scratch.path() / certificate.filename());
        const std::string command = "openssl rehash '" + scratch.path().string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return scratch.path();
    }

    standin::Server& server = test::Standin();
    const fs::path testCa = server.CaFile();
    const fs::path otherCa = server.CaFile().parent_path() / "rogue.crt";  // issued nothing here
    test::TempDir scratch{"vr-cadir-"};
};

// The environment names the test CA (for the executables the tests start); a client in this
// process does not read it.
TEST_F(WebExchangeCurl, TheTestCaIsTrustedThroughTheSettingsOnly) {
    ASSERT_NE(std::getenv("SSL_CERT_FILE"), nullptr);
    const std::string message = Outcome({});
    EXPECT_TRUE(message.starts_with("REST request failed: ")) << message;
    EXPECT_EQ(Outcome({testCa.string(), ""}), "200");
}

TEST_F(WebExchangeCurl, ACaDirectoryIsTrustedBesideTheBundle) {
    const fs::path directory = HashedDirectory(testCa);
    EXPECT_EQ(Outcome({"", directory.string()}), "200");
    // Searched in addition to a bundle that does not hold the issuer, not instead of it.
    EXPECT_EQ(Outcome({otherCa.string(), directory.string()}), "200");
}

TEST_F(WebExchangeCurl, ADirectoryWithoutTheIssuerTrustsNothingMore) {
    const fs::path directory = HashedDirectory(otherCa);
    const std::string message = Outcome({"", directory.string()});
    EXPECT_TRUE(message.starts_with("REST request failed: ")) << message;
    // The bundle given beside it still counts.
    EXPECT_EQ(Outcome({testCa.string(), directory.string()}), "200");
}

// The answer's head a byte at a time, far within the timeout each, forty seconds in all, is cut
// at the timeout like a trickled body. WinHTTP reads the head in one call, whose timeout Windows
// counts over the whole head and Wine per read, so this is not checked under Wine.
TEST_F(WebExchangeCurl, AHeadThatTricklesInIsCutAtTheTimeout) {
    standin::Response trickled;
    trickled.headers = {{"Content-Type", "application/json"}, {"X-Enchimento", std::string(300, 'x')}};
    trickled.body = "{}";
    trickled.trickleChunk = 1;
    trickled.trickleInterval = 0.1;
    trickled.trickleHead = true;
    server.Route("/t", trickled);
    const auto start = std::chrono::steady_clock::now();
    const std::string message = Outcome({testCa.string(), ""});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // At this pace the head alone takes over 30 s: the timeout's own text, not an answer, shows
    // the exchange was cut at its bound rather than waited out.
    EXPECT_EQ(message, "REST request failed: tempo limite de 5000 ms esgotado antes do fim da resposta");
    EXPECT_GE(seconds, 4.9);
}

}  // namespace
}  // namespace vr
