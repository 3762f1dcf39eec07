#include <gtest/gtest.h>

#include "common/Text.h"

namespace vr::text {
namespace {

const std::string kEmoji = "\xF0\x9F\x98\x80";  // U+1F600, two UTF-16 code units
const std::string kReplacement = "\xEF\xBF\xBD";

TEST(Utf16, CountsCodeUnitsNotBytes) {
    EXPECT_EQ(Utf16Length(""), 0u);
    EXPECT_EQ(Utf16Length("abc"), 3u);
    EXPECT_EQ(Utf16Length("ação"), 4u);
    EXPECT_EQ(Utf16Length(kEmoji + "ab"), 4u);
    EXPECT_EQ(Utf16Length("\xFF" "a"), 2u) << "an invalid byte counts as one replacement character";
}

TEST(Utf16, MidTakesCodeUnitsAndReplacesHalvesOfPairs) {
    struct Case {
        std::string text;
        std::size_t first, count;
        std::string expected;
    } cases[] = {
        {"0102", 1, 3, "102"},
        {"060", 1, 2, "60"},
        {"ção", 1, 2, "ão"},
        {kEmoji + "ab", 1, 3, kReplacement + "ab"},
        {"a" + kEmoji, 0, 2, "a" + kReplacement},
        {"abc", 5, 2, ""},
        {"abc", 1, SIZE_MAX, "bc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Utf16Mid(c.text, c.first, c.count), c.expected);
    }
}

TEST(Utf16, LeftNeverSplitsACharacter) {
    EXPECT_EQ(Utf16Left("ABCDEFGHIJKL", 10), "ABCDEFGHIJ");
    EXPECT_EQ(Utf16Left("açúcar", 3), "açú");
    EXPECT_EQ(Utf16Left("a" + kEmoji, 2), "a");
    EXPECT_EQ(Utf16Left("abc", 0), "");
}

TEST(Utf8, ValidationAndRepair) {
    struct Case {
        std::string bytes;
        bool valid;
        std::string repaired;
    } cases[] = {
        {"plain", true, "plain"},
        {"Café " + kEmoji, true, "Café " + kEmoji},
        {kReplacement, true, kReplacement},
        {"a\xC3", false, "a" + kReplacement},                   // truncated sequence
        {"\xC0\xAF", false, kReplacement + kReplacement},       // overlong
        {"\xED\xA0\x80", false, kReplacement + kReplacement + kReplacement},  // surrogate
        {"\xF4\x90\x80\x80", false, kReplacement + kReplacement + kReplacement + kReplacement},
        {std::string("a\0b", 3), true, std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(IsValidUtf8(c.bytes), c.valid);
        EXPECT_EQ(ToValidUtf8(c.bytes), c.repaired);
    }
}

TEST(Lines, SplitAtEveryKindOfBreak) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines("a"), Lines{"a"});
    EXPECT_EQ(SplitLines("a\r\n"), Lines{"a"});
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("\n\n"), (Lines{"", ""}));
    EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(SplitLines("\r\n"), Lines{""});
}

TEST(Ascii, CaseFoldingLeavesOtherBytesAlone) {
    EXPECT_EQ(AsciiUpper("install-ção"), "INSTALL-çãO");
    EXPECT_EQ(AsciiLower("Text/HTML"), "text/html");
    EXPECT_TRUE(EqualsIgnoreAsciiCase("Application/JSON", "application/json"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("install", "instal"));
    EXPECT_FALSE(EqualsIgnoreAsciiCase("Ção", "çãO"));
}

TEST(Utf8, AppendEncodesEveryPlaneAndRejectsSurrogates) {
    std::string out;
    for (char32_t cp : {U'A', U'\u00E7', U'\u20AC', U'\U0001F600', char32_t{0xD800}, char32_t{0x110000}}) {
        AppendUtf8(out, cp);
    }
    EXPECT_EQ(out, "Aç€" + kEmoji + kReplacement + kReplacement);
}

}  // namespace
}  // namespace vr::text
