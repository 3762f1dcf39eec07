// The exchange's rules that both transports apply, without a server.

#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "webservice/ExchangeRules.h"

namespace vr {
namespace {

TEST(WebExchangeRules, RedirectStatuses) {
    for (const int status : {300, 301, 302, 303, 307, 308}) EXPECT_TRUE(IsRedirectStatus(status)) << status;
    for (const int status : {200, 299, 304, 305, 306, 309, 399, 407}) EXPECT_FALSE(IsRedirectStatus(status)) << status;
}

TEST(WebExchangeRules, TheSixthRedirectIsRefused) {
    int redirects = 0;
    for (int i = 0; i < 5; ++i) CountRedirect(redirects);
    try {
        CountRedirect(redirects);
        FAIL() << "a sixth redirect was counted";
    } catch (const RestError& e) {
        EXPECT_STREQ(e.what(), "REST request failed: Maximum number of redirections (5) exceeded");
    }
}

TEST(WebExchangeRules, OnlyHttpsAddressesAreFollowed) {
    struct Case {
        std::string address;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"https://h/x", true}, {"HTTPS://H/x", true}, {"http://h/x", false},
        {"ftp://h/x", false},  {"/relative", false},  {"https:/h", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        if (c.accepted) {
            EXPECT_NO_THROW(RequireHttpsRedirect(c.address));
        } else {
            EXPECT_THROW(RequireHttpsRedirect(c.address), RestError);
        }
    }
}

TEST(WebExchangeRules, HeaderLinesAreTrimmedAndUnfolded) {
    struct Case {
        std::string name;
        std::vector<std::string> lines;
        THeaderList headers;
    };
    const std::vector<Case> cases = {
        {"blanks around the value", {"Content-Type: \t application/json \t"}, {{"Content-Type", "application/json"}}},
        {"no blank after the colon", {"X:1"}, {{"X", "1"}}},
        {"empty value", {"X:"}, {{"X", ""}}},
        {"colon inside the value", {"Location: https://h:1/a"}, {{"Location", "https://h:1/a"}}},
        {"folded value", {"X-Texto: um", "   dois  ", "\ttres"}, {{"X-Texto", "um dois tres"}}},
        {"fold without a header before", {"  solto", "X: 1"}, {{"X", "1"}}},
        {"status line and end skipped", {"HTTP/1.1 200 OK", "X: 1", ""}, {{"X", "1"}}},
        {"order and repeats kept", {"B: 2", "A: 1", "B: 3"}, {{"B", "2"}, {"A", "1"}, {"B", "3"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        THeaderList headers;
        for (const std::string& line : c.lines) AddHeaderLine(headers, line);
        EXPECT_EQ(headers, c.headers);
    }
}

TEST(WebExchangeRules, TheBodysBound) {
    struct Case {
        std::string contentLength;
        bool tooLarge;
    };
    const std::vector<Case> cases = {
        {"67108864", false},  // exactly 64 MiB
        {"67108865", true},
        {" 67108865 ", true},
        {"99999999999999999999999999", true},  // no overflow into a small number
        {"1e9", false},                         // not a plain number: the body's size decides
        {"", false},
        {"-1", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contentLength);
        EXPECT_EQ(DeclaresTooLarge(c.contentLength), c.tooLarge);
    }
    EXPECT_NO_THROW(CheckBodySize(kMaxBodyBytes));
    try {
        CheckBodySize(kMaxBodyBytes + 1);
        FAIL() << "a body over the bound passed";
    } catch (const RestError& e) {
        EXPECT_STREQ(e.what(), "REST request failed: a resposta excede o limite de 64 MiB");
    }
}

// The answer's deadline starts at the first handshake's end, once: a redirect's handshake does
// not move it. Short sleeps only separate the instants; nothing is timed against them.
TEST(WebExchangeRules, OneDeadlinePerPhaseForTheWholeExchange) {
    TExchangeDeadlines deadlines(60000);
    const auto connectDeadline = deadlines.Deadline();
    EXPECT_FALSE(deadlines.AnswerPhase());
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    deadlines.HandshakeEnded();
    EXPECT_TRUE(deadlines.AnswerPhase());
    const auto answerDeadline = deadlines.Deadline();
    EXPECT_GT(answerDeadline, connectDeadline);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    deadlines.HandshakeEnded();
    EXPECT_EQ(deadlines.Deadline(), answerDeadline);
    EXPECT_FALSE(deadlines.Passed());

    TExchangeDeadlines spent(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(spent.Passed());
    EXPECT_EQ(spent.RemainingMs(), 1);  // never 0, which transports read as "no limit"
}

TEST(WebExchangeRules, FailureTexts) {
    EXPECT_EQ(TimeoutReason(1000, false), "tempo limite de 1000 ms esgotado sem receber dados");
    EXPECT_EQ(TimeoutReason(300000, true), "tempo limite de 300000 ms esgotado antes do fim da resposta");
    const std::string refusal = ProxyRefusal("netsh winhttp show proxy").what();
    EXPECT_TRUE(refusal.starts_with("REST request failed: o proxy recusou")) << refusal;
    EXPECT_NE(refusal.find("407"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("netsh winhttp show proxy"), std::string::npos) << refusal;
}

}  // namespace
}  // namespace vr
