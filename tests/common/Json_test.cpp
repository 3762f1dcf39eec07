#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Json.h"

namespace vr {
namespace {

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
    };
    for (const std::string& text : invalid) {
        SCOPED_TRACE(text.substr(0, 40));
        EXPECT_THROW(JsonDocument::Parse(text), JsonError);
        EXPECT_FALSE(JsonDocument::TryParse(text).has_value());
    }
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
