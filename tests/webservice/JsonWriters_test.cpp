#include "webservice/JsonWriters.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

#include "webservice/AnswerDecoding.h"

namespace vr {
namespace {

struct WriteCase {
    std::string source;
    std::string expected;
};

TEST(WebJsonWriters, IndentedForm) {
    const std::vector<WriteCase> cases = {
        {"{}", "{\r\n}"},
        {"[]", "[\r\n]"},
        {"{\"a\":1}", "{\r\n    \"a\": 1\r\n}"},
        {" {\"a\":[1,{\"b\":null}],\"c\":{},\"d\":[]} ",
         "{\r\n"
         "    \"a\": [\r\n"
         "        1,\r\n"
         "        {\r\n"
         "            \"b\": null\r\n"
         "        }\r\n"
         "    ],\r\n"
         "    \"c\": {\r\n"
         "    },\r\n"
         "    \"d\": [\r\n"
         "    ]\r\n"
         "}"},
        {"[1.50,-0,1E+5,12345678901234567890,true,false]",
         "[\r\n    1.50,\r\n    -0,\r\n    1E+5,\r\n    12345678901234567890,\r\n    true,\r\n    false\r\n]"},
        {R"("a\"b\\c/d\b\t\n\f\r")", R"("a\"b\\c\/d\b\t\n\f\r")"},
        // Other control characters as \u escapes in upper-case hexadecimal; everything else,
        // letters and U+007F included, goes out as it is.
        {R"("\u00e9\u0001\u007f😀\u0000\u001f\u000B")", "\"é\\u0001\x7f😀\\u0000\\u001F\\u000B\""},
        {R"({"a\u0002":"\u001e"})", "{\r\n    \"a\\u0002\": \"\\u001E\"\r\n}"},
        {R"({"a/b":1,"a/b":2})", "{\r\n    \"a\\/b\": 1,\r\n    \"a\\/b\": 2\r\n}"},
        {"\"x\"", "\"x\""},
        {"null", "null"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(WriteIndentedJson(JsonDocument::Parse(c.source).root()), c.expected);
    }
}

TEST(WebJsonWriters, CompactForm) {
    const std::vector<WriteCase> cases = {
        {" { \"a\" : [ 1 , true , null, false ], \"b\" : { } , \"c\": [ ] } ",
         R"({"a":[1,true,null,false],"b":{},"c":[]})"},
        {R"(["a\"b\\c/d\b\t\n\f\r"])", R"(["a\"b\\c\/d\b\t\n\f\r"])"},
        // U+007F is not above U+007F: it stays as it is.
        {R"(["\u0000\u0001\u001f \u007f"])", "[\"\\u0000\\u0001\\u001F \x7f\"]"},
        {"[\"é ß Ā ࠀ \uffff\"]", R"(["\u00E9 \u00DF \u0100 \u0800 \uFFFF"])"},
        {"[\"😀\U0010FFFF\"]", R"(["\uD83D\uDE00\uDBFF\uDFFF"])"},
        {R"({"ação":-1.250e-3})", R"({"a\u00E7\u00E3o":-1.250e-3})"},
        {R"({"a":1,"a":2})", R"({"a":1,"a":2})"},
        {"12", "12"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(WriteCompactJson(JsonDocument::Parse(c.source).root()), c.expected);
    }
}

TEST(WebJsonWriters, CompactFormIsOneLineOfPlainAsciiThatParsesBackTheSame) {
    const std::string source =
        "{\"nome\":\"PÃO DE AÇÚCAR\\n\\u2028 \\ud83d\\ude00\",\"itens\":[{\"x\":[[],{}]},0.10]}";
    const std::string compact = WriteCompactJson(JsonDocument::Parse(source).root());
    for (const char c : compact) {
        EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "byte " << static_cast<int>(static_cast<unsigned char>(c));
    }
    EXPECT_EQ(WriteIndentedJson(JsonDocument::Parse(compact).root()),
              WriteIndentedJson(JsonDocument::Parse(source).root()));
}

TEST(WebJsonWriters, JsonTextIsEmptyForEmptyOrInvalidContent) {
    const std::vector<WriteCase> cases = {
        {"", ""},
        {"<html>erro</html>", ""},
        {"{\"a\":1", ""},
        {"{\"a\":1} x", ""},
        {std::string(600, '[') + std::string(600, ']'), ""},  // deeper than the parser allows
        {"{\"a\":1}", "{\r\n    \"a\": 1\r\n}"},
        {"  \"sucesso\"  ", "\"sucesso\""},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.source.substr(0, 40));
        EXPECT_EQ(TextoJson(c.source), c.expected);
    }
}

// The indented text always reads back as the same document, whatever control character a string
// or a name holds: the feed is applied without writing and reading it again.
TEST(WebJsonWriters, IndentedTextReadsBackAsTheSameDocumentForEveryControlCharacter) {
    for (int c = 0; c < 0x20; ++c) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04X", c);
        for (const std::string& source : {"{\"texto\":\"a" + std::string(escape) + "b\"}",
                                          "{\"a" + std::string(escape) + "\":[1e999999,\"\"]}"}) {
            SCOPED_TRACE(source);
            const JsonDocument document = JsonDocument::Parse(source);
            const std::string indented = WriteIndentedJson(document.root());
            const std::optional<JsonDocument> again = JsonDocument::TryParse(indented);
            ASSERT_TRUE(again.has_value()) << indented;
            EXPECT_EQ(WriteCompactJson(again->root()), WriteCompactJson(document.root()));
            EXPECT_EQ(WriteIndentedJson(again->root()), indented);
        }
    }
}

}  // namespace
}  // namespace vr
