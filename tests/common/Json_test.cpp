#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Json.h"

namespace vr {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

// A compact rendering of the model, to compare whole documents in one line.
std::string Render(JsonValue v) {
    switch (v.kind()) {
        case JsonKind::Null: return "null";
        case JsonKind::False: return "false";
        case JsonKind::True: return "true";
        case JsonKind::Number: return "#" + std::string(v.text());
        case JsonKind::String: return "'" + std::string(v.text()) + "'";
        case JsonKind::Array: {
            std::string out = "[";
            for (JsonValue e : v) out += Render(e) + ",";
            return out + "]";
        }
        case JsonKind::Object: {
            std::string out = "{";
            for (JsonValue m : v) out += std::string(m.name()) + ":" + Render(m) + ",";
            return out + "}";
        }
    }
    return "?";
}

TEST(Json, KeepsOrderDuplicatesAndNumberSourceText) {
    const JsonDocument doc = JsonDocument::Parse(
        R"({"b":18.50,"a":[1E-5,-0,12345678901234567890],"b":"second","c":{"x":null,"y":true}})");
    EXPECT_EQ(Render(doc.root()),
              "{b:#18.50,a:[#1E-5,#-0,#12345678901234567890,],b:'second',c:{x:null,y:true,},}");
    EXPECT_EQ(doc.root().size(), 4u);
    ASSERT_TRUE(doc.root().Find("b").has_value());
    EXPECT_EQ(doc.root().Find("b")->text(), "18.50") << "lookup returns the first of two equal names";
    EXPECT_FALSE(doc.root().Find("B").has_value()) << "names are matched case-sensitively";
    EXPECT_FALSE(doc.root().Find("a")->Find("x").has_value()) << "an array has no members";
}

TEST(Json, ResolvesEscapesIntoUtf8) {
    const JsonDocument doc = JsonDocument::Parse(R"(["a\"b\\c\/d\u00e7\ud83d\ude00\u0000e"])");
    const JsonValue s = *doc.root().begin();
    EXPECT_EQ(s.text(), std::string("a\"b\\c/dç\xF0\x9F\x98\x80\0e", 15));
}

// An escaped low surrogate without its high one is taken by the reader; it reads as U+FFFD, so
// that every text of a document is valid UTF-8 and writes out as text that reads back.
TEST(Json, ALoneLowSurrogateReadsAsTheReplacementCharacter) {
    const JsonDocument doc = JsonDocument::Parse(R"({"a\udc00":["\ude00x","\udbff\udfff\udfff","\u00ed\u00a0"]})");
    const JsonValue member = *doc.root().begin();
    EXPECT_EQ(member.name(), "a\xEF\xBF\xBD");
    std::vector<std::string> texts;
    for (JsonValue e : member) texts.emplace_back(e.text());
    EXPECT_EQ(texts, (std::vector<std::string>{"\xEF\xBF\xBDx", "\xF4\x8F\xBF\xBF\xEF\xBF\xBD", "\xC3\xAD\xC2\xA0"}));
    // A high one alone stays refused, as the reader does.
    EXPECT_THROW(JsonDocument::Parse(R"(["\ud800"])"), JsonError);
}

TEST(Json, EmptyContainersAndScalarsAsRoot) {
    EXPECT_EQ(Render(JsonDocument::Parse(" {} ").root()), "{}");
    EXPECT_EQ(Render(JsonDocument::Parse("[[],{}]").root()), "[[],{},]");
    EXPECT_EQ(Render(JsonDocument::Parse("\"x\"").root()), "'x'");
    EXPECT_EQ(Render(JsonDocument::Parse("0").root()), "#0");
    EXPECT_EQ(Render(JsonDocument::Parse("false").root()), "false");
}

TEST(Json, RejectsWhatIsNotExactlyOneValidValue) {
    const std::vector<std::string> invalid = {
        "",
        "   ",
        "{",
        "{\"a\":1,}",
        "[1 2]",
        "{} {}",
        "01",
        "1.",
        "NaN",
        "'single'",
        "\"\xC3\x28\"",             // invalid UTF-8 inside a string
        "\"tab\there\"",            // raw control character
        std::string("{}\0{}", 5),   // a NUL byte is not the end of the input
        std::string(JsonDocument::kMaxDepth + 1, '['),
        // Cut in the middle of a character at the very end (long enough to be held on the heap,
        // where reading past the end shows under the address sanitizer).
        "[\"a string long enough\xF2",
        "[\"a string long enough\xE2\x82",
        "[\"a string long enough\xF0\x9F\x98",
        "{\"a name long enough\xC3",
    };
    for (const std::string& text : invalid) {
        SCOPED_TRACE(text.substr(0, 40));
        EXPECT_THROW(JsonDocument::Parse(text), JsonError);
        EXPECT_FALSE(JsonDocument::TryParse(text).has_value());
        // A copy holds no room beyond the text: what the reader reads past its end shows.
        EXPECT_THROW(JsonDocument::ParseInPlace(std::string(text)), JsonError);
    }
}

// JSON's grammar sets no limit to a number; the reader under the model gives up beyond a double's
// range, so such numbers are kept aside, never refused and never confused with their neighbours.
TEST(Json, NumbersOfAnySizeKeepTheirText) {
    const std::string digits400 = "9" + std::string(399, '1');
    const struct {
        std::string source;
        std::string rendered;
    } cases[] = {
        {"1e999999", "#1e999999"},
        {"  -1.5E+999  ", "#-1.5E+999"},
        {"[" + digits400 + "]", "[#" + digits400 + ",]"},
        {R"({"a":"1e999999","b":1e999999,"c":[[1e400,2],{"d":-0.5e-99999,"e":1E309}],"f":"\"1e999"})",
         "{a:'1e999999',b:#1e999999,c:[[#1e400,#2,],{d:#-0.5e-99999,e:#1E309,},],f:'\"1e999',}"},
        {"[0e999,1.25e1000,0.1e0001000]", "[#0e999,#1.25e1000,#0.1e0001000,]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source.substr(0, 60));
        EXPECT_EQ(Render(JsonDocument::Parse(c.source).root()), c.rendered);
    }
    // What is not a number stays refused, wherever a long one stands.
    for (const std::string& text : std::vector<std::string>{"1e999999x", "[1e999999 2]", "01e999", "1.e999", "-e999", "1e+", "[1e999999,]",
                                   "\"1e999", "[1e999999.5]", "{1e999:1}", "[" + digits400 + "-]"}) {
        SCOPED_TRACE(text.substr(0, 40));
        EXPECT_THROW(JsonDocument::Parse(text), JsonError);
    }
}

// A refusal says where and why; text that is not JSON starts "JSON inválido na posição ".
TEST(Json, RefusalsSayWhereAndWhy) {
    const struct {
        std::string source;
        std::string message;
    } cases[] = {
        {"", "JSON inválido na posição 0: The document is empty."},
        {"<html>", "JSON inválido na posição 0: Invalid value."},
        {R"({"a":[1,2)", "JSON inválido na posição 9: Missing a comma or ']' after an array element."},
        {"{} x", "JSON inválido na posição 3: The document root must not be followed by other values."},
        {std::string("[1]\0", 4), "JSON inválido na posição 3: caractere nulo"},
        {std::string(100000, '['), "JSON aninhado demais na posição 512 (mais de 512 níveis)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source.substr(0, 40));
        EXPECT_THAT([&] { JsonDocument::Parse(c.source); }, ThrowsMessage<JsonError>(StrEq(c.message)));
    }
}

// A text taken over is parsed where it stands; the document reads the same as from a copy.
TEST(Json, ParsingInPlaceGivesTheSameDocument) {
    const std::string source = R"({"a\u0000b":["x\ny",1e999999,{"":[]}],"c":"\u00e7"})";
    std::string owned = source;
    const JsonDocument inPlace = JsonDocument::ParseInPlace(std::move(owned));
    EXPECT_EQ(Render(inPlace.root()), Render(JsonDocument::Parse(source).root()));
    EXPECT_EQ(inPlace.root().begin().operator*().name(), std::string("a\0b", 3));
}

TEST(Json, NestingUpToTheLimitIsAccepted) {
    const std::string deep =
        std::string(JsonDocument::kMaxDepth, '[') + std::string(JsonDocument::kMaxDepth, ']');
    const JsonDocument doc = JsonDocument::Parse(deep);
    JsonValue v = doc.root();
    unsigned depth = 1;
    while (v.size() == 1) {
        v = *v.begin();
        ++depth;
    }
    EXPECT_EQ(depth, JsonDocument::kMaxDepth);
}

TEST(Json, HugeNestingFailsWithoutExhaustingTheStack) {
    // Deep enough to overflow any recursive parser's stack.
    const std::string bomb(4'000'000, '[');
    EXPECT_THROW(JsonDocument::Parse(bomb), JsonError);
}

TEST(Json, LargeFlatDocumentKeepsEveryElement) {
    std::string text = "[";
    for (int i = 0; i < 100000; ++i) text += (i ? "," : "") + std::to_string(i);
    text += "]";
    const JsonDocument doc = JsonDocument::Parse(text);
    ASSERT_EQ(doc.root().size(), 100000u);
    int expected = 0;
    for (JsonValue e : doc.root()) {
        if (e.text() != std::to_string(expected)) FAIL() << "element " << expected << " is " << e.text();
        ++expected;
    }
}

TEST(Json, DocumentMovesKeepHandlesUsable) {
    JsonDocument first = JsonDocument::Parse(R"({"k":"v"})");
    JsonDocument moved = std::move(first);
    EXPECT_EQ(moved.root().Find("k")->text(), "v");
}

}  // namespace
}  // namespace vr
