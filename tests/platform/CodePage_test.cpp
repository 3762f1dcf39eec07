#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>

#include "common/Error.h"

namespace vr::codepage {
namespace {

using namespace std::string_literals;

struct Case {
    const char* name;
    std::string input;
    std::string codePage;
    std::string expected;
};

TEST(CodePageTest, FromUtf8EncodesAndReplacesWhatThePageLacks) {
    const Case cases[] = {
        {"latin1 letters", "ação É", "ISO-8859-1", "a\xE7\xE3o \xC9"},
        {"euro in cp1252", "€5", "WINDOWS-1252", "\x80" "5"},
        {"euro missing in latin1", "€5", "ISO-8859-1", "?5"},
        {"one ? per character", "日本語", "ISO-8859-1", "???"},
        {"four-byte character", "a😀b", "WINDOWS-1252", "a?b"},
        {"no transliteration", "ação", "ASCII", "a??o"},
        {"embedded NUL kept", "a\0ç\0"s, "ISO-8859-1", "a\0\xE7\0"s},
        {"invalid UTF-8 byte", "a\xFF" "b", "ISO-8859-1", "a?b"},
        {"truncated sequence at the end", "a\xC3", "ISO-8859-1", "a?"},
        {"question mark in the target's form", "é\xFF", "UTF-16LE", "\xE9\0?\0"s},
        {"big endian", "aé", "UTF-16BE", "\0a\0\xE9"s},
        {"UTF-8 passes through", "ação 日", "UTF-8", "ação 日"},
        {"C1 control is not a cp1252 character", "a\u0081", "WINDOWS-1252", "a?"},
        {"double-byte page", "aあé", "CP932", "a\x82\xA0?"},
        {"empty", "", "ISO-8859-1", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FromUtf8(c.input, c.codePage), c.expected);
    }
}

TEST(CodePageTest, ToUtf8DecodesAndMarksUndecodableBytes) {
    const Case cases[] = {
        {"latin1 letters", "a\xE7\xE3o", "ISO-8859-1", "ação"},
        {"euro in cp1252", "\x80", "WINDOWS-1252", "€"},
        {"byte undefined in cp1252", "a\x81" "b", "WINDOWS-1252", "a\uFFFD" "b"},
        {"invalid UTF-8", "a\xFF" "b", "UTF-8", "a\uFFFD" "b"},
        {"truncated UTF-8", "a\xE2\x82", "UTF-8", "a\uFFFD"},
        {"embedded NUL", "a\0b"s, "ISO-8859-1", "a\0b"s},
        {"UTF-16LE", "a\0\xE7\0"s, "UTF-16LE", "aç"},
        {"UTF-16BE", "\0a\0\xE7"s, "UTF-16BE", "aç"},
        {"lone surrogate keeps the rest aligned", "\x00\xD8" "A\0B\0"s, "UTF-16LE",
         "\uFFFD" "AB"},
        {"odd trailing byte", "A\0B"s, "UTF-16LE", "A\uFFFD"},
        {"high byte in ASCII", "a\xE7", "ASCII", "a\uFFFD"},
        {"byte undefined in cp1253", "\xE1\xAA", "CP1253", "α\uFFFD"},
        {"double-byte page", "a\x82\xA0", "CP932", "aあ"},
        {"lead byte without its trail", "\x82 a\x82", "CP932", "\uFFFD a\uFFFD"},
        {"empty", "", "UTF-16LE", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ToUtf8(c.input, c.codePage), c.expected);
    }
}

// Sequences beyond U+10FFFF are not UTF-8, whatever the decoder underneath would take: each of
// their bytes is one invalid byte, in both directions and in every code page.
TEST(CodePageTest, SequencesBeyondUnicodeAreInvalid) {
    const std::string fffd = "\uFFFD";
    struct Row {
        const char* name;
        std::string bytes;
        std::size_t invalid;  // bytes between "a" and "b" that each become one replacement
    };
    const Row rows[] = {
        {"F4 90: just beyond U+10FFFF", "\xF4\x90\x80\x80", 4},
        {"F4 BF", "\xF4\xBF\xBF\xBF", 4},
        {"F5 lead", "\xF5\x80\x80\x80", 4},
        {"F7 lead", "\xF7\xBF\xBF\xBF", 4},
        {"five-byte form", "\xF8\x88\x80\x80\x80", 5},
        {"six-byte form", "\xFC\x84\x80\x80\x80\x80", 6},
        {"F5 lead cut short", "\xF5\x80", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string input = "a" + row.bytes + "b";
        std::string decoded = "a";
        std::string question = "a";
        for (std::size_t i = 0; i < row.invalid; ++i) {
            decoded += fffd;
            question += "?";
        }
        decoded += "b";
        question += "b";
        EXPECT_EQ(ToUtf8(input, "UTF-8"), decoded);
        EXPECT_EQ(FromUtf8(input, "UTF-8"), question);
        EXPECT_EQ(FromUtf8(input, "WINDOWS-1252"), question);
        EXPECT_EQ(ToUtf8(FromUtf8(input, "UTF-16LE"), "UTF-16LE"), question);
        // At the very end of the text as well.
        EXPECT_EQ(ToUtf8("a" + row.bytes, "UTF-8"), decoded.substr(0, decoded.size() - 1));
    }
    // The last character of Unicode stays what it is.
    EXPECT_EQ(ToUtf8("a\xF4\x8F\xBF\xBF", "UTF-8"), "a\xF4\x8F\xBF\xBF");
    EXPECT_EQ(FromUtf8("a\xF4\x8F\xBF\xBF", "UTF-16LE"), std::string("a\0\xFF\xDB\xFF\xDF", 6));
}

// Large inputs go through iconv in one loop: the output buffer has to grow many times (UTF-16
// doubles ASCII) and the replacement path has to resume at the right byte every time.
TEST(CodePageTest, LargeInputsConvertWhole) {
    const std::string chunk = "linha ação € 日\0x\n"s;
    const std::string latin1 = "linha a\xE7\xE3o ? ?\0x\n"s;
    std::string utf8;
    std::string expected;
    for (int i = 0; i < 200000; ++i) {
        utf8 += chunk;
        expected += latin1;
    }
    EXPECT_EQ(FromUtf8(utf8, "ISO-8859-1"), expected);

    std::string utf16 = FromUtf8(utf8, "UTF-16LE");
    EXPECT_EQ(utf16.size(), 2 * 17 * 200000u);
    EXPECT_EQ(ToUtf8(utf16, "UTF-16LE"), utf8);
}

TEST(CodePageTest, NamesAreTakenAsIconvSpellsThemInAnyCase) {
    const Case cases[] = {
        {"lower case", "€", "windows-1252", "\x80"},
        {"CP prefix", "€", "cp1252", "\x80"},
        {"latin1 alias", "é", "latin1", "\xE9"},
        {"ISO without hyphen", "é", "iso8859-1", "\xE9"},
        {"another ISO page", "€", "ISO-8859-15", "\xA4"},
        {"UTF-8 without hyphen", "é", "utf8", "é"},
        {"an OEM page", "ç", "CP850", "\x87"},
        {"another Windows page", "€ł", "WINDOWS-1250", "\x80\xB3"},
        {"US-ASCII", "a~", "us-ascii", "a~"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(IsKnown(c.codePage));
        EXPECT_EQ(FromUtf8(c.input, c.codePage), c.expected);
        EXPECT_EQ(ToUtf8(c.expected, c.codePage), c.input);
    }
}

TEST(CodePageTest, UnknownCodePagesAreRejected) {
    // An empty name would mean the locale's charset to iconv, and a "//" suffix would turn on
    // transliteration or silent dropping: neither is accepted as a code page.
    for (const std::string page : {"NO-SUCH-PAGE", "", "ASCII//TRANSLIT", "ISO-8859-1//IGNORE", "CP99999", "CP", "WINDOWS-"}) {
        SCOPED_TRACE(page);
        EXPECT_FALSE(IsKnown(page));
        EXPECT_THROW(FromUtf8("a", page), Error);
        EXPECT_THROW(ToUtf8("a", page), Error);
    }
    for (const std::string page : {"UTF-8", "ISO-8859-1", "WINDOWS-1252", "UTF-16LE"}) {
        SCOPED_TRACE(page);
        EXPECT_TRUE(IsKnown(page));
    }
}

}  // namespace
}  // namespace vr::codepage
