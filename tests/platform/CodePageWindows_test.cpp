#include <gtest/gtest.h>

#include <string>

#include "common/Error.h"
#include "platform/CodePage.h"

namespace vr::codepage {
namespace {

// Pages Windows converts only without flags, or with state carried between calls: the rules for
// unconvertible characters cannot hold there, so they count as unknown.
TEST(CodePageWindowsTest, PagesWithoutReplacementRulesAreUnknown) {
    for (const std::string page : {"CP65000", "CP12000", "CP50220", "CP57002", "CP42", "CP54936"}) {
        SCOPED_TRACE(page);
        EXPECT_FALSE(IsKnown(page));
        EXPECT_THROW(FromUtf8("a", page), Error);
    }
}

// Windows maps the holes of its single-byte pages to C1 controls or private-use characters;
// neither direction may let them through.
TEST(CodePageWindowsTest, HolesOfSingleBytePagesStayHoles) {
    for (const std::string page : {"WINDOWS-1252", "CP1250", "CP1253", "CP874"}) {
        SCOPED_TRACE(page);
        EXPECT_EQ(ToUtf8("\x81", page), "\uFFFD");
        EXPECT_EQ(FromUtf8("\u0081\uF8F9", page), "??");
    }
    // In the ISO pages the C1 controls are characters like any other.
    EXPECT_EQ(ToUtf8("\x81", "ISO-8859-1"), "\u0081");
    EXPECT_EQ(FromUtf8("\u0081", "ISO-8859-1"), "\x81");
}

// A character beyond U+FFFF is one "?" in an 8-bit page, not one per UTF-16 unit.
TEST(CodePageWindowsTest, ACharacterBeyondTheBasicPlaneIsOneQuestionMark) {
    EXPECT_EQ(FromUtf8("a😀b", "CP1252"), "a?b");
    EXPECT_EQ(FromUtf8("😀", "CP932"), "?");
}

}  // namespace
}  // namespace vr::codepage
