// The GET exchange over TLS against the local stand-in.

#include <chrono>
#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/standin/StandinPlatform.h"
#include "tests/support/StandinEnvironment.h"
#include "webservice/AnswerDecoding.h"
#include "webservice/PlatformHttpClient.h"

namespace vr {
namespace {

using standin::Response;
using Clock = std::chrono::steady_clock;

Response Json(int status, std::string reason, std::string body) {
    Response r;
    r.status = status;
    r.reason = std::move(reason);
    r.headers = {{"Content-Type", "application/json; charset=utf-8"}};
    r.body = std::move(body);
    return r;
}

Response Redirect(int status, std::string location, standin::Headers extra = {}) {
    Response r;
    r.status = status;
    r.reason = "Redirect";
    r.headers = {{"Location", std::move(location)}};
    r.headers.insert(r.headers.end(), extra.begin(), extra.end());
    return r;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class WebExchange : public ::testing::Test {
protected:
    void SetUp() override {
        server.ClearRoutes();
        server.TakeRequests();
    }

    THttpAnswer Get(const std::string& path, std::vector<TQueryParam> query = {}, int timeoutMs = 5000) {
        return client.Get({server.Origin() + path, std::move(query), timeoutMs});
    }

    // The error of an exchange that must fail.
    RestError Failure(const std::string& url, int timeoutMs = 5000) {
        try {
            client.Get({url, {}, timeoutMs});
        } catch (const RestError& e) {
            return e;
        }
        ADD_FAILURE() << "the exchange did not fail: " << url;
        return RestError("");
    }

    standin::Server& server = test::Standin();
    PlatformHttpClient client{test::StandinTrust()};
};

TEST_F(WebExchange, RequestGoesOutExactlyAsBuilt) {
    server.Route("/v2.0/consulta-ean/ID/123/TOK", Json(200, "OK", "{}"));
    Get("/v2.0/consulta-ean/ID/123/TOK/", {{"ean", "789"}, {"descricao", "CAFÉ EM PÓ 500G"}});

    const std::vector<standin::Request> requests = server.TakeRequests();
    ASSERT_EQ(requests.size(), 1u);
    const standin::Request& request = requests[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.version, "HTTP/1.1");
    EXPECT_EQ(request.target,
              "/v2.0/consulta-ean/ID/123/TOK?ean=789&descricao=CAF%C3%89%20EM%20P%C3%93%20500G");
    const standin::Headers expected = {
        {"Host", "127.0.0.1:" + std::to_string(server.port())},
        {"Accept", "application/json, text/plain; q=0.9, text/html;q=0.8,"},
        {"Accept-Charset", "utf-8, *;q=0.8"},
        {"User-Agent", "VevoveRazara/1.0"},
    };
    EXPECT_EQ(request.headers, expected);
}

TEST_F(WebExchange, QueryAndPathExamplesReachTheServerAsDescribed) {
    struct Case {
        std::string name;
        std::string path;
        std::string descricao;
        std::string target;
    };
    const std::vector<Case> cases = {
        {"separators stay", "/c/ID/1/T", "A&B=C", "/c/ID/1/T?ean=7&descricao=A&B=C"},
        {"lone percent", "/c/ID/1/T", "50% OFF", "/c/ID/1/T?ean=7&descricao=50%%20OFF"},
        {"number sign ends the query", "/c/ID/1/T", "LOTE #12", "/c/ID/1/T?ean=7&descricao=LOTE%20"},
        {"characters a query keeps", "/c/ID/1/T", "{|}^\\`'\"", "/c/ID/1/T?ean=7&descricao={|}^\\`%27%22"},
        {"empty token", "/c/ID/1/", "x", "/c/ID/1?ean=7&descricao=x"},
        {"empty tax number", "/c/ID//T", "x", "/c/ID//T?ean=7&descricao=x"},
        {"dot segments", "/c/../T", "x", "/c/../T?ean=7&descricao=x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Get(c.path, {{"ean", "7"}, {"descricao", c.descricao}});
        const std::vector<standin::Request> requests = server.TakeRequests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].target, c.target);
    }
}

TEST_F(WebExchange, NothingSurvivesFromOneExchangeToTheNext) {
    server.Route("/a", Json(200, "OK", "{}"));
    Get("/a");
    Get("/a");
    const std::vector<standin::Request> requests = server.TakeRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].connection, requests[1].connection);
}

TEST_F(WebExchange, FiveRedirectsAreFollowedAndARedirectsCookieGoesOnlyToTheNextRequests) {
    server.Route("/r1", Redirect(300, "/r2", {{"Set-Cookie", "sessao=abc; Path=/"}}));
    server.Route("/r2", Redirect(301, server.Origin() + "/r3"));
    server.Route("/r3", Redirect(302, "r4"));
    server.Route("/r4", Redirect(303, "/r5"));
    server.Route("/r5", Redirect(307, "/r6?x=1"));
    Response last = Json(200, "OK", R"({"fim":true})");
    last.headers.emplace_back("Set-Cookie", "ultimo=1; Path=/");
    server.Route("/r6", last);

    for (int exchange = 0; exchange < 2; ++exchange) {
        SCOPED_TRACE(exchange);
        const THttpAnswer answer = Get("/r1");
        EXPECT_EQ(answer.statusCode, 200);
        EXPECT_EQ(answer.content, R"({"fim":true})");
        const std::vector<standin::Request> requests = server.TakeRequests();
        ASSERT_EQ(requests.size(), 6u);
        EXPECT_EQ(requests[5].target, "/r6?x=1");
        EXPECT_TRUE(requests[0].Header("Cookie").empty());
        for (std::size_t i = 1; i < requests.size(); ++i) {
            EXPECT_EQ(requests[i].Header("Cookie"), std::vector<std::string>{"sessao=abc"}) << i;
        }
    }
}

TEST_F(WebExchange, TheSixthRedirectFails) {
    for (int i = 1; i <= 6; ++i) {
        server.Route("/s" + std::to_string(i), Redirect(308, "/s" + std::to_string(i + 1)));
    }
    server.Route("/s7", Json(200, "OK", "{}"));
    EXPECT_STREQ(Failure(server.Origin() + "/s1").what(),
                 "REST request failed: Maximum number of redirections (5) exceeded");
    EXPECT_EQ(server.TakeRequests().size(), 6u);
}

TEST_F(WebExchange, NotARedirectStatusIsFinal) {
    for (const int status : {304, 305, 399}) {
        SCOPED_TRACE(status);
        server.Route("/n", Redirect(status, "/elsewhere"));
        EXPECT_EQ(Get("/n").statusCode, status);
        EXPECT_EQ(server.TakeRequests().size(), 1u);
    }
}

TEST_F(WebExchange, ARedirectToPlainHttpIsRefused) {
    server.Route("/h", Redirect(302, "http://127.0.0.1:" + std::to_string(server.port()) + "/x"));
    const std::string message = Failure(server.Origin() + "/h").what();
    EXPECT_TRUE(message.starts_with("REST request failed: ")) << message;
    EXPECT_NE(message.find("HTTPS"), std::string::npos) << message;
    EXPECT_EQ(server.TakeRequests().size(), 1u);
}

TEST_F(WebExchange, AStalledPhaseFailsAfterTheTimeout) {
    Response stalledBody = Json(200, "OK", std::string(100, ' ') + "{}");
    stalledBody.stallAfter = 10;
    stalledBody.stallSeconds = 6;
    Response lateHeaders = Json(200, "OK", "{}");
    lateHeaders.delayHeaders = 6;
    Response never;
    never.hang = true;
    struct Case {
        std::string name;
        Response response;
    };
    const std::vector<Case> cases = {
        {"stall in the middle of the body", stalledBody},
        {"headers late", lateHeaders},
        {"request read, never answered", never},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Route("/stall", c.response);
        const Clock::time_point start = Clock::now();
        const std::string message = Failure(server.Origin() + "/stall", 1000).what();
        const double seconds = SecondsSince(start);
        EXPECT_TRUE(message.starts_with("REST request failed: ")) << message;
        EXPECT_GE(seconds, 0.9);
        EXPECT_LT(seconds, 3.5);
    }
}

TEST_F(WebExchange, AServerThatNeverSpeaksTlsFailsAfterTheTimeout) {
    const Clock::time_point start = Clock::now();
    const std::string message =
        Failure("https://127.0.0.1:" + std::to_string(server.silentPort()) + "/x", 1000).what();
    const double seconds = SecondsSince(start);
    EXPECT_TRUE(message.starts_with("REST request failed: ")) << message;
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 3.5);
}

// The timeout bounds receiving the whole answer, not the pause between two of its bytes: every
// piece here comes far within the timeout, and the answer as a whole would take forty seconds.
TEST_F(WebExchange, AnAnswerThatTricklesInIsCutAtTheTimeout) {
    Response trickled = Json(200, "OK", "[" + std::string(398, ' ') + "]");
    trickled.trickleChunk = 1;
    trickled.trickleInterval = 0.1;
    server.Route("/trickle", trickled);
    const Clock::time_point start = Clock::now();
    const std::string message = Failure(server.Origin() + "/trickle", 2000).what();
    const double seconds = SecondsSince(start);
    EXPECT_TRUE(message.starts_with("REST request failed: ")) << message;
    EXPECT_GE(seconds, 1.9);
    EXPECT_LT(seconds, 20.0);  // far below the forty seconds of the whole answer
}

// The connect bound covers the handshake as a whole: every byte of it comes far within the
// bound, the whole would take about a minute.
TEST_F(WebExchange, AHandshakeThatTricklesInIsCutAtTheConnectBound) {
    const Clock::time_point start = Clock::now();
    const std::string message =
        Failure("https://127.0.0.1:" + std::to_string(server.slowHandshakePort()) + "/x", 1000).what();
    const double seconds = SecondsSince(start);
    EXPECT_TRUE(message.starts_with("REST request failed: ")) << message;
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 3.5);
}

// Once the handshake is done, the head a byte at a time: the answer's bound counts the head too.
TEST_F(WebExchange, AHeadThatTricklesInIsCutAtTheAnswersBound) {
    Response trickled = Json(200, "OK", "{}");
    trickled.headers.emplace_back("X-Enchimento", std::string(300, 'x'));
    trickled.trickleChunk = 1;
    trickled.trickleInterval = 0.1;
    trickled.trickleHead = true;
    server.Route("/head", trickled);
    const Clock::time_point start = Clock::now();
    const std::string message = Failure(server.Origin() + "/head", 1000).what();
    const double seconds = SecondsSince(start);
    EXPECT_TRUE(message.starts_with("REST request failed: tempo limite de 1000 ms esgotado")) << message;
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 3.5);
}

// Redirects get no time afresh: each answer comes well within the bound, the chain does not.
TEST_F(WebExchange, ARedirectChainSharesTheExchangesDeadline) {
    for (int i = 1; i <= 5; ++i) {
        Response hop = Redirect(302, "/d" + std::to_string(i + 1));
        hop.delayHeaders = 0.5;
        server.Route("/d" + std::to_string(i), hop);
    }
    server.Route("/d6", Json(200, "OK", "{}"));
    const Clock::time_point start = Clock::now();
    const std::string message = Failure(server.Origin() + "/d1", 1000).what();
    const double seconds = SecondsSince(start);
    EXPECT_EQ(message, "REST request failed: tempo limite de 1000 ms esgotado sem receber dados");
    EXPECT_LT(server.TakeRequests().size(), 4u);
    EXPECT_GE(seconds, 0.9);
    EXPECT_LT(seconds, 3.5);
}

// A proxy that wants credentials: the entry names the refusal and what to change; the request
// never reached the service.
TEST_F(WebExchange, AProxysRefusalSaysWhatToDo) {
    standin::UseProxy(server.proxyPort());
    const std::string message = Failure(server.Origin() + "/t").what();
    standin::UseNoProxy();
    EXPECT_TRUE(message.starts_with("REST request failed: o proxy recusou")) << message;
    EXPECT_NE(message.find("407"), std::string::npos) << message;
    const std::vector<standin::Request> requests = server.TakeRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].listener, "proxy");
}

// Within the timeout a slow answer is read whole: the bound starts with the exchange, not
// before, and is the timeout given.
TEST_F(WebExchange, ASlowAnswerWithinTheTimeoutIsReadWhole) {
    Response slow = Json(200, "OK", "[" + std::string(2398, ' ') + "]");
    slow.trickleChunk = 200;
    slow.trickleInterval = 0.25;  // 12 pieces: three seconds in all
    server.Route("/slow", slow);
    const THttpAnswer answer = Get("/slow", {}, 20000);
    EXPECT_EQ(answer.content, slow.body);
}

TEST_F(WebExchange, StatusesBelow500ReturnTheDecodedAnswer) {
    Response html;
    html.status = 404;
    html.reason = "Not Found";
    html.headers = {{"Content-Type", "text/html"}};
    html.body = "<html><body>Não encontrado</body></html>";
    Response empty404;
    empty404.status = 404;
    empty404.reason = "Nao Achei";
    Response html400 = html;
    html400.status = 400;
    html400.reason = "Bad Request";
    Response html200 = html;
    html200.status = 200;
    html200.reason = "OK";
    Response empty200;
    empty200.headers = {{"Content-Type", "application/json"}};
    Response noContent;
    noContent.status = 204;
    noContent.reason = "No Content";
    noContent.headers = {{"Content-Type", "application/json"}};
    struct Case {
        std::string name;
        Response response;
        std::string mediaType;
    };
    const std::vector<Case> cases = {
        {"200 json", Json(200, "OK", R"({"mensagem":"sucesso","tributos":[]})"), "application/json"},
        {"204 empty", noContent, "application/json"},
        {"400 json", Json(400, "Bad Request", R"({"mensagem":"EAN inválido"})"), "application/json"},
        {"404 json", Json(404, "Not Found", R"({"mensagem":"não achei"})"), "application/json"},
        {"404 html", html, "text/html"},
        {"400 html", html400, "text/html"},
        {"200 html", html200, "text/html"},
        {"200 empty", empty200, "application/json"},
        {"404 empty without type", empty404, ""},
        {"499 odd reason", Json(499, "Mais ou Menos", "{}"), "application/json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Route("/s", c.response);
        const THttpAnswer answer = Get("/s");
        EXPECT_EQ(answer.statusCode, c.response.status);
        EXPECT_EQ(answer.protocolVersion, "HTTP/1.1");
        EXPECT_EQ(answer.reasonPhrase, c.response.reason);
        EXPECT_EQ(answer.content, c.response.body);
        EXPECT_EQ(answer.mediaType, c.mediaType);
    }
}

TEST_F(WebExchange, Status500OrMoreFailsWithTheStatusLineAndKeepsTheAnswer) {
    Response html;
    html.status = 503;
    html.reason = "Service Unavailable";
    html.headers = {{"Content-Type", "text/html; charset=ISO-8859-1"}};
    html.body = "<p>Manuten\xE7\xE3o</p>";
    Response old = Json(502, "Bad Gateway", "{}");
    old.version = "HTTP/1.0";
    struct Case {
        std::string name;
        Response response;
        std::string message;
        std::string content;
        std::string mediaType;
    };
    const std::vector<Case> cases = {
        {"json with mensagem", Json(503, "Service Unavailable", R"({"mensagem":"em manutenção"})"),
         "HTTP/1.1 503 Service Unavailable", R"({"mensagem":"em manutenção"})", "application/json"},
        {"html without mensagem", html, "HTTP/1.1 503 Service Unavailable", "<p>Manutenção</p>",
         "text/html"},
        {"reason of our own", Json(500, "Erro Interno Qualquer", ""), "HTTP/1.1 500 Erro Interno Qualquer",
         "", "application/json"},
        {"other protocol version", old, "HTTP/1.0 502 Bad Gateway", "{}", "application/json"},
        {"empty reason", Json(599, "", "x"), "HTTP/1.1 599 ", "x", "application/json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Route("/e", c.response);
        const RestError error = Failure(server.Origin() + "/e");
        EXPECT_EQ(std::string(error.what()), c.message);
        ASSERT_NE(error.answer(), nullptr);
        EXPECT_EQ(error.answer()->statusCode, c.response.status);
        EXPECT_EQ(error.answer()->content, c.content);
        EXPECT_EQ(error.answer()->mediaType, c.mediaType);
    }
}

TEST_F(WebExchange, BodiesAreDecodedByTheirCharset) {
    struct Case {
        std::string contentType;
        std::string body;
    };
    const std::vector<Case> cases = {
        {"application/json", "{\"d\":\"CAF\xC3\x89\"}"},
        {"application/json; charset=ISO-8859-1", "{\"d\":\"CAF\xC9\"}"},
        {"application/json; charset=UTF-8", "{\"d\":\"CAF\xC3\x89\"}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contentType);
        Response r;
        r.headers = {{"Content-Type", c.contentType}};
        r.body = c.body;
        server.Route("/c", r);
        const THttpAnswer answer = Get("/c");
        EXPECT_EQ(answer.content, "{\"d\":\"CAFÉ\"}");
        EXPECT_EQ(answer.mediaType, "application/json");
    }
    Response unknown;
    unknown.headers = {{"Content-Type", "text/plain; charset=x-nenhum"}};
    unknown.body = "abc";
    server.Route("/c", unknown);
    EXPECT_THROW(Get("/c"), Error);
}

TEST_F(WebExchange, ACertificateThePlatformRejectsFailsWithoutResending) {
    for (const int port : {server.untrustedPort(), server.wrongHostPort()}) {
        SCOPED_TRACE(port);
        const std::string message =
            Failure("https://127.0.0.1:" + std::to_string(port) + "/x").what();
        EXPECT_TRUE(message.starts_with("REST request failed: ")) << message;
        EXPECT_TRUE(server.TakeRequests().empty());  // the request never went out
    }
}

TEST_F(WebExchange, ABodyOverTheBoundFails) {
    Response streamed;
    streamed.headers = {{"Content-Type", "application/octet-stream; charset=utf-8"}};
    streamed.repeatText = std::string(1024, 'x');
    streamed.repeatCount = 65 * 1024;
    streamed.contentLength = false;
    Response declared;
    declared.headers = {{"Content-Length", "1073741824"}};
    declared.body = "{}";
    declared.stallAfter = 2;
    declared.stallSeconds = 60;
    // What ends each exchange shows in its message, so no clock is needed: the streamed body
    // has all the time a busy machine may take, the declared one stalls long past its timeout.
    struct Case {
        std::string name;
        Response response;
        int timeoutMs;
    };
    const std::vector<Case> cases = {
        {"streamed past the bound", streamed, 120000},
        {"declared over the bound", declared, 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Route("/big", c.response);
        const std::string message = Failure(server.Origin() + "/big", c.timeoutMs).what();
        EXPECT_EQ(message, "REST request failed: a resposta excede o limite de 64 MiB");
    }
    Response large = Json(200, "OK", "\"" + std::string(4 * 1024 * 1024, 'y') + "\"");
    server.Route("/big", large);
    EXPECT_EQ(Get("/big", {}, 120000).content.size(), large.body.size());
}

TEST_F(WebExchange, BrokenAnswersFailClearly) {
    Response truncated = Json(200, "OK", "{\"a\":");
    truncated.headers.emplace_back("Content-Length", "100");
    truncated.contentLength = false;  // and the server closes after the five bytes
    Response closed;
    closed.close = true;
    Response badStatus = Json(200, "OK", "{}");
    badStatus.version = "XTTP/9";
    Response endlessHead = Json(200, "OK", "{}");
    for (int i = 0; i < 1200; ++i) {
        endlessHead.headers.emplace_back("X-Cabecalho-" + std::to_string(i), std::string(1000, 'h'));
    }
    struct Case {
        std::string name;
        Response response;
        std::string mentions;  // words of the platform description
    };
    const std::vector<Case> cases = {
        {"body shorter than declared", truncated, ""},
        {"more than a megabyte of headers", endlessHead, "header"},
        {"connection closed without an answer", closed, ""},
        {"not an HTTP answer", badStatus, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.Route("/b", c.response);
        const std::string message = Failure(server.Origin() + "/b").what();
        EXPECT_TRUE(message.starts_with("REST request failed: ")) << message;
        EXPECT_GT(message.size(), std::string("REST request failed: ").size());
        EXPECT_NE(message.find(c.mentions), std::string::npos) << message;
    }
}

TEST_F(WebExchange, ConnectionRefused) {
    const std::string message = Failure("https://127.0.0.1:1/x").what();
    EXPECT_TRUE(message.starts_with("REST request failed: ")) << message;
    EXPECT_NE(message.find("onnect"), std::string::npos) << message;
}

}  // namespace
}  // namespace vr
