// Taking an address apart for the transport, and where a redirect leads.

#include <gtest/gtest.h>

#include "common/Error.h"
#include "webservice/UrlParts.h"

namespace vr {
namespace {

TEST(WebUrlParts, SplitsWhatTheTransportConnectsWith) {
    struct Case {
        std::string url;
        std::string scheme;
        std::string host;
        int port;
        std::string target;
    };
    const std::vector<Case> cases = {
        {"https://127.0.0.1:8443/v2.0/x?ean=7&d=a%20b", "https", "127.0.0.1", 8443, "/v2.0/x?ean=7&d=a%20b"},
        {"HTTPS://Servico.Example", "https", "Servico.Example", 0, "/"},
        {"https://h:/p", "https", "h", 0, "/p"},
        {"https://h?q=1", "https", "h", 0, "/?q=1"},
        {"https://[::1]:9000/a", "https", "::1", 9000, "/a"},
        {"https://h/c/../T?x={|}^\\`#frag", "https", "h", 0, "/c/../T?x={|}^\\`"},
        {"http://h/a?", "http", "h", 0, "/a?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        const TUrlParts parts = SplitUrl(c.url);
        EXPECT_EQ(parts.scheme, c.scheme);
        EXPECT_EQ(parts.host, c.host);
        EXPECT_EQ(parts.port, c.port);
        EXPECT_EQ(parts.target, c.target);
    }
}

TEST(WebUrlParts, RefusesWhatIsNotAnAbsoluteAddressWithAHost) {
    for (const char* url : {"/relativo", "127.0.0.1:443/x", "https:///x", "https://h:0/", "https://h:65536/",
                            "https://h:8a/", "https://[::1/", "https://usuario:senha@h/"}) {
        SCOPED_TRACE(url);
        EXPECT_THROW(SplitUrl(url), Error);
    }
}

// The normal and abnormal examples of RFC 3986, section 5.4, and the forms servers send.
TEST(WebUrlParts, ResolvesALocationAgainstTheAddressThatAnswered) {
    const std::string base = "http://a/b/c/d;p?q";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q"},
        {"g?y#s", "http://a/b/c/g?y"},
        {";x", "http://a/b/c/;x"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"HTTPS://Outro:444/x/../y?z", "https://Outro:444/y?z"},
    };
    for (const auto& [location, expected] : cases) {
        SCOPED_TRACE(location);
        EXPECT_EQ(ResolveLocation(base, location), expected);
    }
    EXPECT_EQ(ResolveLocation("https://h:1/r2", "r3"), "https://h:1/r3");
    EXPECT_EQ(ResolveLocation("https://h:1", "r3"), "https://h:1/r3");
}

}  // namespace
}  // namespace vr
