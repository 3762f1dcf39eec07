#include "webservice/AnswerDecoding.h"

#include <optional>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vr {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(WebAnswerDecoding, ContentTypeSplitsMediaTypeAndCharset) {
    struct Case {
        std::string header;
        std::string mediaType;
        std::string charset;
    };
    const std::vector<Case> cases = {
        {"application/json; charset=UTF-8", "application/json", "UTF-8"},
        {" text/html ;charset=\"iso-8859-1\" ", "text/html", "iso-8859-1"},
        {"text/plain; format=flowed; CHARSET = windows-1252", "text/plain", "windows-1252"},
        {"Application/JSON", "Application/JSON", ""},
        {"application/json;charset=", "application/json", ""},
        {"text/html; q", "text/html", ""},
        {";charset=utf-8", "", "utf-8"},
        {"application/json; charset=\"\"", "application/json", ""},
        {"text/plain;;; charset=latin1;", "text/plain", "latin1"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.header);
        const TContentType parsed = ParseContentType(c.header);
        EXPECT_EQ(parsed.mediaType, c.mediaType);
        EXPECT_EQ(parsed.charset, c.charset);
    }
}

TEST(WebAnswerDecoding, TextMediaTypes) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"text/html", true},
        {"TEXT/CSV", true},
        {"application/json", true},
        {"Application/Json", true},
        {"application/problem+json", true},
        {"application/xml", true},
        {"application/atom+xml", true},
        {"application/javascript", true},
        {"application/x-www-form-urlencoded", true},
        {"", true},
        {"application/octet-stream", false},
        {"image/png", false},
        {"application/pdf", false},
        {"application/jsonx", false},
        {"multipart/form-data", false},
    };
    for (const auto& [mediaType, isText] : cases) {
        SCOPED_TRACE(mediaType);
        EXPECT_EQ(IsTextMediaType(mediaType), isText);
    }
}

TEST(WebAnswerDecoding, BodyIsDecodedByItsCharset) {
    struct Case {
        std::string name;
        int status;
        std::string contentType;  // empty: no header
        std::string body;
        std::string content;
        std::string mediaType;
    };
    const std::vector<Case> cases = {
        {"no charset reads UTF-8", 200, "application/json", "{\"a\":\"CAFÉ\"}", "{\"a\":\"CAFÉ\"}",
         "application/json"},
        {"ISO-8859-1", 200, "text/plain; charset=ISO-8859-1", "CAF\xC9", "CAFÉ", "text/plain"},
        {"windows-1252", 400, "application/json; charset=windows-1252", "\x80 \xE7", "€ ç",
         "application/json"},
        {"UTF-8 named", 200, "text/html; charset=utf-8", "PÓ", "PÓ", "text/html"},
        {"invalid UTF-8 becomes U+FFFD", 200, "text/plain", "a\xFF" "b", "a\xEF\xBF\xBD" "b",
         "text/plain"},
        {"no Content-Type at all", 200, "", "{\"x\":1}", "{\"x\":1}", ""},
        {"binary under 300 gives nothing", 200, "application/octet-stream", "\x01\x02", "",
         "application/octet-stream"},
        {"binary with a charset is decoded", 200, "application/octet-stream; charset=utf-8", "ok",
         "ok", "application/octet-stream"},
        {"binary at 300 or more is kept", 404, "image/png", "png", "png", "image/png"},
        {"empty body", 204, "application/json", "", "", "application/json"},
        {"NUL bytes kept", 200, "text/plain", std::string("a\0b", 3), std::string("a\0b", 3),
         "text/plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRawAnswer raw;
        raw.statusLine = "HTTP/1.1 " + std::to_string(c.status) + " Whatever It Is";
        raw.statusCode = c.status;
        if (!c.contentType.empty()) raw.headers.emplace_back("content-type", c.contentType);
        raw.body = c.body;
        const THttpAnswer answer = DecodeAnswer(raw);
        EXPECT_EQ(answer.content, c.content);
        EXPECT_EQ(answer.mediaType, c.mediaType);
        EXPECT_EQ(answer.statusCode, c.status);
        EXPECT_EQ(answer.protocolVersion, "HTTP/1.1");
        EXPECT_EQ(answer.reasonPhrase, "Whatever It Is");
    }
}

TEST(WebAnswerDecoding, UnknownCharsetFailsClearly) {
    for (const std::string charset : {"x-no-such-charset", "utf-8//TRANSLIT", "latin 1"}) {
        SCOPED_TRACE(charset);
        TRawAnswer raw;
        raw.statusLine = "HTTP/1.1 200 OK";
        raw.statusCode = 200;
        raw.headers = {{"Content-Type", "text/plain; charset=" + charset}};
        raw.body = "abc";
        EXPECT_THAT([&] { DecodeAnswer(raw); }, ThrowsMessage<Error>(HasSubstr(charset)));
    }
}

TEST(WebAnswerDecoding, TheLastContentTypeCounts) {
    TRawAnswer raw;
    raw.statusLine = "HTTP/1.1 200 OK";
    raw.statusCode = 200;
    raw.headers = {{"Content-Type", "application/octet-stream"}, {"Content-Type", "text/plain"}};
    raw.body = "abc";
    EXPECT_EQ(DecodeAnswer(raw).content, "abc");
}

TEST(WebAnswerDecoding, MemberLookupFollowsTheMediaType) {
    struct Case {
        std::string name;
        std::string mediaType;
        std::string content;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"form in html", "text/html", "x=1&mensagem=Token inválido&y=2", "Token inválido"},
        {"form in plain, to the end", "TEXT/PLAIN", "mensagem=fim", "fim"},
        {"form, first occurrence", "text/plain", "amensagem=a&mensagem=b", "a"},
        {"form, empty value", "text/html", "mensagem=&x", ""},
        {"form without the name", "text/html", "<p>mensagem</p>", std::nullopt},
        {"json object", "application/json", R"({"mensagem":"sucesso"})", "sucesso"},
        {"json, letter case of the type", "Application/JSON", R"({"mensagem":"ok"})", "ok"},
        {"json, first of two", "application/json", R"({"mensagem":"a","mensagem":"b"})", "a"},
        {"json, number", "application/json", R"({"mensagem":1})", "1"},
        {"json, null", "application/json", R"({"mensagem":null})", "null"},
        {"json, object value", "application/json", R"({"mensagem":{"a":1}})", ""},
        {"json, unreadable number", "application/json", R"({"mensagem":123456789012345678901234})",
         std::nullopt},
        {"json, long integer", "application/json", R"({"mensagem":123456789012})", "123456789012"},
        {"json, name case differs", "application/json", R"({"Mensagem":"x"})", std::nullopt},
        {"json, empty", "application/json", "", std::nullopt},
        {"json, invalid", "application/json", "<html>mensagem=x</html>", std::nullopt},
        {"json type with charset kept is another type", "application/json; charset=utf-8",
         R"({"mensagem":"x"})", std::nullopt},
        {"other type", "application/xml", "mensagem=x", std::nullopt},
        {"no type", "", R"({"mensagem":"x"})", std::nullopt},
    };
    const RegionalSettings settings;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        THttpAnswer answer;
        answer.mediaType = c.mediaType;
        answer.content = c.content;
        EXPECT_EQ(ProcuraMembro(answer, "mensagem", settings), c.expected);
    }
}

TEST(WebAnswerDecoding, JsonLookupOnJsonThatIsNotAnObjectFails) {
    const RegionalSettings settings;
    for (const std::string content : {"[1,2]", "\"mensagem\"", "12", "null"}) {
        SCOPED_TRACE(content);
        THttpAnswer answer;
        answer.mediaType = "application/json";
        answer.content = content;
        EXPECT_THROW(ProcuraMembro(answer, "mensagem", settings), Error);
    }
}

}  // namespace
}  // namespace vr
