#include "webservice/UrlEncoding.h"

#include <gtest/gtest.h>

namespace vr {
namespace {

struct EncodeCase {
    std::string input;
    std::string path;   // EncodePathSegment
    std::string query;  // EncodeQuery
};

TEST(WebUrlEncoding, PathSegmentAndQueryUseTheirOwnCharacterSets) {
    const std::vector<EncodeCase> cases = {
        {"CAFÉ EM PÓ 500G", "CAF%C3%89%20EM%20P%C3%93%20500G", "CAF%C3%89%20EM%20P%C3%93%20500G"},
        {"50% OFF", "50%%20OFF", "50%%20OFF"},
        {"%2F%c3%A9", "%2F%c3%A9", "%2F%c3%A9"},  // escapes already made stay, whatever the case
        {"%zz%4", "%zz%4", "%zz%4"},               // a "%" without two hex digits is copied
        {"a+b", "a%2Bb", "a+b"},
        {"A&B=C/?", "A&B=C/%3F", "A&B=C/?"},
        {"\"<>", "%22%3C%3E", "%22%3C%3E"},
        {"'", "'", "%27"},
        {"\\^`{|}", "%5C%5E%60%7B%7C%7D", "\\^`{|}"},
        {"#", "%23", "#"},
        {std::string("\t\x7f\x01", 3), "%09%7F%01", "%09%7F%01"},
        {"ç", "%C3%A7", "%C3%A7"},
        {"!$()*,;:@~._-", "!$()*,;:@~._-", "!$()*,;:@~._-"},
        {"", "", ""},
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(EncodePathSegment(c.input), c.path);
        EXPECT_EQ(EncodeQuery(c.input), c.query);
    }
}

TEST(WebUrlEncoding, TrimRemovesControlsAndSpacesAndOneFinalSlash) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"  https://h/a/b \t\r\n", "https://h/a/b"},
        {"https://h/a/", "https://h/a"},
        {"https://h/a//", "https://h/a/"},
        {std::string("\x01https://h/a\x1f", 13), "https://h/a"},
        {"   ", ""},
        {"/", ""},
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input);
        EXPECT_EQ(TrimUrl(input), expected);
    }
}

struct BuildCase {
    std::string name;
    std::string url;
    std::vector<TQueryParam> query;
    std::string expected;
};

TEST(WebUrlEncoding, BuildsTheAddressThatGoesOut) {
    const std::string base = "https://api.exemplo.com.br/v2.0/consulta-ean/";
    const std::vector<BuildCase> cases = {
        {"description with accents", base + "ID/123/TOK",
         {{"ean", "789"}, {"descricao", "CAFÉ EM PÓ 500G"}},
         base + "ID/123/TOK?ean=789&descricao=CAF%C3%89%20EM%20P%C3%93%20500G"},
        {"separators in a value stay", base + "ID/123/TOK", {{"ean", "1"}, {"descricao", "A&B=C"}},
         base + "ID/123/TOK?ean=1&descricao=A&B=C"},
        {"lone percent", base + "ID/123/TOK", {{"ean", "1"}, {"descricao", "50% OFF"}},
         base + "ID/123/TOK?ean=1&descricao=50%%20OFF"},
        {"number sign ends the query", base + "ID/123/TOK",
         {{"ean", "1"}, {"descricao", "LOTE #12"}}, base + "ID/123/TOK?ean=1&descricao=LOTE%20"},
        {"empty token ends at the tax number", base + "ID/123/", {{"ean", "1"}},
         base + "ID/123?ean=1"},
        {"empty tax number gives two slashes", base + "ID//TOK", {{"ean", "1"}},
         base + "ID//TOK?ean=1"},
        {"path segments are encoded one by one", base + "I D/1+2/T\"K", {},
         base + "I%20D/1%2B2/T%22K"},
        {"a question mark in the text starts the query", base + "a?b/c", {{"ean", "1"}},
         base + "a?b/c&ean=1"},
        {"a number sign in the path drops the rest", base + "ID/123/TO#K", {{"ean", "1"}},
         base + "ID/123/TO"},
        {"spaces around the text", "  " + base + "ID/1/T/ ", {{"date", "29-02-2024"}},
         base + "ID/1/T?date=29-02-2024"},
        {"dot segments stay", base + "../x/.", {}, base + "../x/."},
        {"authority untouched", "https://127.0.0.1:8443", {{"a", "b c"}},
         "https://127.0.0.1:8443?a=b%20c"},
    };
    for (const BuildCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BuildRequestUrl(c.url, c.query), c.expected);
    }
}

}  // namespace
}  // namespace vr
